// SPDX-License-Identifier: Apache-2.0
// The XNNPACK import computes what the models define: checked operator by operator on small
// models and end to end on the real ones, against the naive reference interpreter.
#include "ModelFiles.h"
#include "ReferenceInterpreter.h"
#include "TinyModels.h"
#include "handpose/MediaPipeHandPose.h"
#include "handpose/TfliteReader.h"
#include "handpose/ThreadPool.h"
#include "handpose/XnnpackNetwork.h"
#include "support/Succeeded.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace palmcue::handpose::test {
namespace {

using palmcue::test::succeeded;

std::shared_ptr<const ModelGraph> graphOf(const TinyModelWriter& model) {
    auto graph = TfliteReader::read(model.write(), "tiny.tflite");
    EXPECT_TRUE(succeeded(graph));
    return graph ? std::make_shared<const ModelGraph>(std::move(*graph)) : nullptr;
}

// Largest |fast - reference| relative to max(|reference|, floor × the output's largest
// magnitude): values near zero are judged against that floor, so that float rounding in a long
// sum that nearly cancels does not count as a relative blow-up.
double worstRelativeError(std::span<const float> fast, const std::vector<float>& reference,
                          double floor) {
    double largest = 0.0;
    for (float v : reference)
        largest = std::max(largest, std::abs(double(v)));
    const double smallest = std::max(floor * largest, 1e-30);
    double worst = 0.0;
    for (std::size_t i = 0; i < reference.size(); ++i)
        worst = std::max(worst, std::abs(double(fast[i]) - reference[i]) /
                                    std::max(std::abs(double(reference[i])), smallest));
    return worst;
}

void expectSameOutputs(const std::shared_ptr<const ModelGraph>& graph,
                       const std::vector<float>& input, double tolerance, double floor) {
    ThreadPool pool(2);
    auto networkBuilt = XnnpackNetwork::create(*graph, pool.handle());
    ASSERT_TRUE(succeeded(networkBuilt));
    auto network = std::move(*networkBuilt);
    ReferenceInterpreter reference(*graph);
    ASSERT_EQ(network->input().size(), input.size());
    std::copy(input.begin(), input.end(), network->input().begin());
    reference.input(0) = input;
    ASSERT_TRUE(succeeded(network->run()));
    reference.run();
    for (std::size_t o = 0; o < graph->outputs.size(); ++o) {
        const double worst = worstRelativeError(network->output(o), reference.output(o), floor);
        EXPECT_LE(worst, tolerance) << graph->source << " output " << o << " ("
                                    << graph->tensors[graph->outputs[o]].name << ")";
        std::printf("%s output %zu: worst relative difference %.2e\n", graph->source.c_str(), o,
                    worst);
    }
}

TEST(Network, EveryOperatorMatchesTheReference) {
    for (const auto& model : {tinyConvModel(), allOpsModel()}) {
        const auto graph = graphOf(model);
        ASSERT_TRUE(graph);
        const auto& shape = graph->tensors[graph->inputs[0]];
        expectSameOutputs(graph, noise(std::size_t(shape.elementCount()), 11), 1e-5, 1e-2);
    }
}

TEST(Network, ConcatenationIsAnExactCopy) {
    const auto graph = graphOf(allOpsModel());
    ASSERT_TRUE(graph);
    ThreadPool pool(1);
    auto networkBuilt = XnnpackNetwork::create(*graph, pool.handle());
    ASSERT_TRUE(succeeded(networkBuilt));
    auto network = std::move(*networkBuilt);
    ReferenceInterpreter reference(*graph);
    const auto input = noise(network->input().size(), 3);
    std::copy(input.begin(), input.end(), network->input().begin());
    reference.input(0) = input;
    ASSERT_TRUE(succeeded(network->run()));
    reference.run();
    // Output 1 is the concatenation of a resize and a pad, both exact in float.
    const auto fast = network->output(1);
    const auto& slow = reference.output(1);
    for (std::size_t i = 0; i < slow.size(); ++i)
        ASSERT_NEAR(fast[i], slow[i], 1e-6f) << "element " << i;
}

// The graph's copies of the weights XNNPACK packed are released (and, poisoned first, would
// show up as NaNs had XNNPACK kept reading them); constants it reads at every run are kept.
TEST(Network, HoldsPackedWeightsOnceAndKeepsTheConstantsItReads) {
    TinyModelWriter m;
    const int x = m.addTensor({1, 2, 2, 2});
    const int w = m.addTensor({2, 1, 1, 2}, {0.5f, -1.0f, 2.0f, 0.25f});
    const int bias = m.addTensor({2}, {0.25f, -0.5f}); // also added below
    const int y = m.addTensor({1, 2, 2, 2});
    m.addOp({kConv2D, {x, w, bias}, {y}, kConv2DOptions, {{0, 1, 1}, {1, 4, 1}, {2, 4, 1}}, {}});
    const int shifted = m.addTensor({1, 2, 2, 2});
    m.addOp({kAdd, {y, bias}, {shifted}, 0, {}, {}});
    const int offsets = m.addTensor({1, 2, 2, 2}, noise(8, 7));
    const int z = m.addTensor({1, 2, 2, 2});
    m.addOp({kAdd, {shifted, offsets}, {z}, 0, {}, {}});
    const int slope = m.addTensor({1, 1, 2}, {0.1f, -0.3f});
    const int out = m.addTensor({1, 2, 2, 2});
    m.addOp({kPrelu, {z, slope}, {out}, 0, {}, {}});
    m.inputs = {x};
    m.outputs = {out};
    const auto graph = graphOf(m);
    ASSERT_TRUE(graph);

    auto networkBuilt = XnnpackNetwork::create(*graph, nullptr);
    ASSERT_TRUE(succeeded(networkBuilt));
    auto network = std::move(*networkBuilt);
    const auto& tensors = network->graph().tensors;
    EXPECT_TRUE(tensors[w].constant.empty()) << "packed filter";
    EXPECT_TRUE(tensors[slope].constant.empty()) << "packed slope";
    EXPECT_EQ(tensors[bias].constant, graph->tensors[bias].constant) << "also an addend";
    EXPECT_EQ(tensors[offsets].constant, graph->tensors[offsets].constant) << "an addend";
    EXPECT_EQ(tensors[w].shape, graph->tensors[w].shape) << "shapes stay";

    ReferenceInterpreter reference(*graph);
    const auto input = noise(8, 9);
    std::copy(input.begin(), input.end(), network->input().begin());
    reference.input(0) = input;
    ASSERT_TRUE(succeeded(network->run()));
    reference.run();
    EXPECT_LE(worstRelativeError(network->output(0), reference.output(0), 1e-2), 1e-5);
}

// Models that read as valid after a bit flip must also import and run without harm.
TEST(Network, AcceptedBitFlipsImportAndRun) {
    const auto good = tinyConvModel().write();
    ThreadPool pool(1);
    int built = 0;
    for (std::size_t bit = 0; bit < good.size() * 8; ++bit) {
        auto flipped = good;
        flipped[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        auto graph = TfliteReader::read(flipped, "flipped.tflite");
        if (!graph)
            continue;
        auto created = XnnpackNetwork::create(std::move(*graph), pool.handle());
        if (!created) {
            EXPECT_FALSE(created.error().empty());
            continue;
        }
        auto& network = *created;
        std::fill(network->input().begin(), network->input().end(), 0.5f);
        EXPECT_TRUE(succeeded(network->run()));
        ++built;
    }
    EXPECT_GT(built, 0);
}

TEST(Network, RealModelsMatchTheReferenceOnAPhoto) {
    PALMCUE_SKIP_WITHOUT_MODELS();
    for (const char* file :
         {MediaPipeHandPose::kPalmModelFile, MediaPipeHandPose::kLandmarkModelFile}) {
        const ModelOnPhoto model = modelOnPhoto(file);
        ASSERT_TRUE(model.graph) << model.error;
        // 1e-3 relative; values under 1% of an output's range are judged against that 1%.
        expectSameOutputs(model.graph, model.input, 1e-3, 1e-2);
    }
}

} // namespace
} // namespace palmcue::handpose::test
