// One model imported into an XNNPACK runtime. The runtime is built once and bound once to the
// input and output buffers owned here, so running it allocates nothing. The weights live once,
// in XNNPACK's packed form: the graph's own copies of them are released after the build.
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
    // the operator at fault). A null pool gives a runtime that runs on the calling thread; on a
    // pool, the workers go to sleep after each run instead of spinning for the next one.
    static std::unique_ptr<XnnpackNetwork> create(ModelGraph graph, pthreadpool* pool,
                                                  std::string& error);
    ~XnnpackNetwork();
    XnnpackNetwork(const XnnpackNetwork&) = delete;
    XnnpackNetwork& operator=(const XnnpackNetwork&) = delete;

    std::span<float> input(std::size_t index = 0);
    std::span<const float> output(std::size_t index) const;
    // The model as built: its shapes and operators. Constants that XNNPACK packed (filters,
    // biases, PReLU slopes) are empty here.
    const ModelGraph& graph() const { return graph_; }

    bool run(std::string& error);

private:
    explicit XnnpackNetwork(ModelGraph graph);
    void build(pthreadpool* pool);
    void releasePackedConstants();

    ModelGraph graph_;
    // XNNPACK may read a little past the end of an input: each buffer carries slack.
    std::vector<std::vector<float>> inputs_;
    std::vector<std::vector<float>> outputs_;
    xnn_runtime* runtime_ = nullptr;
};

} // namespace palmcue::handpose
