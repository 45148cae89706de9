// One model imported into XNNPACK runtimes, one per thread pool asked for. The runtimes are built
// once and all bound once to the same input and output buffers, owned here, so running any of
// them allocates nothing.
#pragma once

#include "handpose/ModelGraph.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

struct pthreadpool;
struct xnn_runtime;

namespace palmcue::handpose {

class XnnpackNetwork {
public:
    // Builds the runtime; on failure returns null and sets `error` (naming the model file and
    // the operator at fault).
    // A null pool gives a runtime that runs on the calling thread.
    static std::unique_ptr<XnnpackNetwork> create(std::shared_ptr<const ModelGraph> graph,
                                                  std::span<pthreadpool* const> pools,
                                                  std::string& error);
    static std::unique_ptr<XnnpackNetwork> create(std::shared_ptr<const ModelGraph> graph,
                                                  pthreadpool* pool, std::string& error);
    ~XnnpackNetwork();
    XnnpackNetwork(const XnnpackNetwork&) = delete;
    XnnpackNetwork& operator=(const XnnpackNetwork&) = delete;

    std::span<float> input(std::size_t index = 0);
    std::span<const float> output(std::size_t index) const;
    const ModelGraph& graph() const { return *graph_; }

    std::size_t runtimeCount() const { return runtimes_.size(); }
    // Runs the runtime built for pools[runtime].
    bool run(std::string& error, std::size_t runtime = 0);

private:
    explicit XnnpackNetwork(std::shared_ptr<const ModelGraph> graph);
    void build(std::span<pthreadpool* const> pools);

    std::shared_ptr<const ModelGraph> graph_;
    // XNNPACK may read a little past the end of an input: each buffer carries slack.
    std::vector<std::vector<float>> inputs_;
    std::vector<std::vector<float>> outputs_;
    std::vector<xnn_runtime*> runtimes_;
};

} // namespace palmcue::handpose
