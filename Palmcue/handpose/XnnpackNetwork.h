// One model imported into an XNNPACK runtime. The runtime is built once; its input and output
// buffers are owned here and bound once, so running it allocates nothing.
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
    static std::unique_ptr<XnnpackNetwork> create(std::shared_ptr<const ModelGraph> graph,
                                                  pthreadpool* pool, std::string& error);
    ~XnnpackNetwork();
    XnnpackNetwork(const XnnpackNetwork&) = delete;
    XnnpackNetwork& operator=(const XnnpackNetwork&) = delete;

    std::span<float> input(std::size_t index = 0);
    std::span<const float> output(std::size_t index) const;
    const ModelGraph& graph() const { return *graph_; }

    bool run(std::string& error);

private:
    explicit XnnpackNetwork(std::shared_ptr<const ModelGraph> graph);
    void build(pthreadpool* pool);

    std::shared_ptr<const ModelGraph> graph_;
    // XNNPACK may read a little past the end of an input: each buffer carries slack.
    std::vector<std::vector<float>> inputs_;
    std::vector<std::vector<float>> outputs_;
    xnn_runtime* runtime_ = nullptr;
};

} // namespace palmcue::handpose
