// SPDX-License-Identifier: Apache-2.0
// The intermediate-tensor plan: tensors alive at the same operator never share memory, and
// memory is reused as soon as a tensor is dead, also in the chains that XNNPACK's own planner
// lays end to end.
#include "handpose/ArenaPlan.h"

#include "ModelFiles.h"
#include "ReferenceInterpreter.h"
#include "TinyModels.h"
#include "handpose/MediaPipeHandPose.h"
#include "handpose/TfliteReader.h"
#include "handpose/XnnpackNetwork.h"
#include "support/Succeeded.h"

#include <gtest/gtest.h>
#include <random>

namespace palmcue::handpose::test {
namespace {

using palmcue::test::succeeded;

void expectNoLiveOverlap(const std::vector<TensorLife>& tensors, const ArenaPlan& plan) {
    ASSERT_EQ(plan.offsets.size(), tensors.size());
    for (std::size_t a = 0; a < tensors.size(); ++a) {
        EXPECT_LE(plan.offsets[a] + tensors[a].size, plan.size) << "tensor " << a;
        for (std::size_t b = a + 1; b < tensors.size(); ++b) {
            const bool together =
                tensors[a].first <= tensors[b].last && tensors[b].first <= tensors[a].last;
            const bool shareMemory = plan.offsets[a] < plan.offsets[b] + tensors[b].size &&
                                     plan.offsets[b] < plan.offsets[a] + tensors[a].size;
            ASSERT_FALSE(together && shareMemory && tensors[a].size && tensors[b].size)
                << "tensors " << a << " and " << b;
        }
    }
}

// The most memory alive at any one operator: no plan can use less.
std::size_t peakAlive(const std::vector<TensorLife>& tensors) {
    std::size_t peak = 0;
    for (const TensorLife& at : tensors) {
        std::size_t alive = 0;
        for (const TensorLife& t : tensors)
            if (t.first <= at.first && at.first <= t.last)
                alive += t.size;
        peak = std::max(peak, alive);
    }
    return peak;
}

TEST(ArenaPlan, AChainOfEqualTensorsTakesTwoOfThem) {
    std::vector<TensorLife> chain;
    for (std::size_t i = 0; i < 10; ++i)
        chain.push_back({100, i, i + 1}); // written by operator i, read by i + 1
    const ArenaPlan plan = planArena(chain);
    expectNoLiveOverlap(chain, plan);
    EXPECT_EQ(plan.size, 200u);
}

TEST(ArenaPlan, RandomLifetimesNeverShareMemoryWhileAlive) {
    std::mt19937 random(17);
    for (int round = 0; round < 50; ++round) {
        std::vector<TensorLife> tensors;
        const int count = 1 + int(random() % 40);
        std::size_t total = 0;
        for (int i = 0; i < count; ++i) {
            const std::size_t first = random() % 30;
            // Sizes repeat, as they do in a network's stages; some tensors are empty.
            const std::size_t size = (random() % 5) * 64;
            tensors.push_back({size, first, first + random() % 8});
            total += size;
        }
        const ArenaPlan plan = planArena(tensors);
        expectNoLiveOverlap(tensors, plan);
        EXPECT_GE(plan.size, peakAlive(tensors));
        EXPECT_LE(plan.size, total);
    }
    EXPECT_EQ(planArena({}).size, 0u);
}

TEST(ArenaPlan, RealModelsKeepTheirIntermediatesInAFractionOfTheirSum) {
    PALMCUE_SKIP_WITHOUT_MODELS();
    for (const char* file :
         {MediaPipeHandPose::kPalmModelFile, MediaPipeHandPose::kLandmarkModelFile}) {
        const ModelOnPhoto model = modelOnPhoto(file);
        ASSERT_TRUE(model.graph) << model.error;
        std::size_t sum = 0;
        for (std::size_t t = 0; t < model.graph->tensors.size(); ++t) {
            const GraphTensor& tensor = model.graph->tensors[t];
            if (!tensor.isConstant() && !tensor.isIntegral)
                sum += std::size_t(tensor.elementCount()) * sizeof(float);
        }
        const auto built = XnnpackNetwork::create(*model.graph, nullptr);
        ASSERT_TRUE(succeeded(built));
        const auto& network = *built;
        // 7 % for the palm model and 17 % for the landmark model when this was written.
        EXPECT_LT(network->intermediateBytes(), sum / 4) << file;
    }
}

// Runs `network` on `input` and compares with the reference interpreter on the same graph.
void expectMatchesReference(XnnpackNetwork& network, const ModelGraph& graph,
                            const std::vector<float>& input) {
    std::copy(input.begin(), input.end(), network.input().begin());
    ASSERT_TRUE(succeeded(network.run()));
    ReferenceInterpreter reference(graph);
    reference.input(0) = input;
    reference.run();
    for (std::size_t o = 0; o < graph.outputs.size(); ++o) {
        const auto fast = network.output(o);
        const auto& slow = reference.output(o);
        for (std::size_t i = 0; i < slow.size(); ++i)
            ASSERT_NEAR(fast[i], slow[i], 1e-4f * std::max(1.0f, std::abs(slow[i])))
                << graph.source << " output " << o << " element " << i;
    }
}

TEST(ArenaPlan, NetworksTakingTurnsShareOneBuffer) {
    auto small = TfliteReader::read(tinyConvModel().write(), "small.tflite");
    auto large = TfliteReader::read(allOpsModel().write(), "large.tflite");
    ASSERT_TRUE(succeeded(small));
    ASSERT_TRUE(succeeded(large));
    auto firstBuilt = XnnpackNetwork::create(*small, nullptr);
    auto secondBuilt = XnnpackNetwork::create(*large, nullptr);
    ASSERT_TRUE(succeeded(firstBuilt));
    ASSERT_TRUE(succeeded(secondBuilt));
    auto first = std::move(*firstBuilt);
    auto second = std::move(*secondBuilt);
    const std::size_t larger = std::max(first->intermediateBytes(), second->intermediateBytes());
    ASSERT_TRUE(succeeded(first->shareIntermediatesWith(*second)));
    EXPECT_EQ(first->intermediateBytes(), larger);
    EXPECT_EQ(second->intermediateBytes(), larger);
    // Each run leaves its tensors in the buffer the other uses next: nothing may carry over.
    for (unsigned seed = 1; seed <= 3; ++seed) {
        expectMatchesReference(*first, *small, noise(first->input().size(), seed));
        expectMatchesReference(*second, *large, noise(second->input().size(), seed + 10));
    }
}

} // namespace
} // namespace palmcue::handpose::test
