// SPDX-License-Identifier: Apache-2.0
// Threads: a network built on a worker pool computes what the same network computes on the
// calling thread alone, and the hand-pose step counts the CPU of every thread that works on a
// frame.
#include "ModelFiles.h"
#include "TinyModels.h"
#include "handpose/MediaPipeHandPose.h"
#include "handpose/TfliteReader.h"
#include "handpose/ThreadPool.h"
#include "handpose/XnnpackNetwork.h"
#include "support/Succeeded.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace palmcue::handpose::test {
namespace {

using palmcue::test::succeeded;

std::vector<std::vector<float>> outputsOf(XnnpackNetwork& network,
                                          const std::vector<float>& input) {
    std::copy(input.begin(), input.end(), network.input().begin());
    EXPECT_TRUE(succeeded(network.run()));
    std::vector<std::vector<float>> outputs;
    for (std::size_t o = 0; o < network.graph().outputs.size(); ++o)
        outputs.emplace_back(network.output(o).begin(), network.output(o).end());
    return outputs;
}

// Compares the network on the calling thread with the one on a pool, relative to
// max(|value|, 1% of the output's largest magnitude).
void expectPoolAgrees(const ModelGraph& graph, const std::vector<float>& input) {
    ThreadPool pool(2);
    ASSERT_TRUE(pool.handle());
    auto pooledNetworkBuilt = XnnpackNetwork::create(graph, pool.handle());
    ASSERT_TRUE(succeeded(pooledNetworkBuilt));
    auto pooledNetwork = std::move(*pooledNetworkBuilt);
    auto singleNetworkBuilt = XnnpackNetwork::create(graph, nullptr);
    ASSERT_TRUE(succeeded(singleNetworkBuilt));
    auto singleNetwork = std::move(*singleNetworkBuilt);
    ASSERT_EQ(pooledNetwork->input().size(), input.size());
    // A second input first: a network that kept the first run's outputs would fail below.
    std::vector<float> inverted(input.size());
    std::transform(input.begin(), input.end(), inverted.begin(), [](float v) { return 1 - v; });
    const auto pooledInverted = outputsOf(*pooledNetwork, inverted);
    const auto pooled = outputsOf(*pooledNetwork, input);
    ASSERT_NE(pooledInverted, pooled);
    const auto single = outputsOf(*singleNetwork, input);
    for (std::size_t o = 0; o < pooled.size(); ++o) {
        double largest = 0.0;
        for (float v : pooled[o])
            largest = std::max(largest, std::abs(double(v)));
        for (std::size_t i = 0; i < pooled[o].size(); ++i) {
            const double scale = std::max({std::abs(double(pooled[o][i])), 1e-2 * largest, 1e-30});
            ASSERT_LE(std::abs(double(single[o][i]) - pooled[o][i]) / scale, 1e-5)
                << graph.source << " output " << o << " element " << i << ": " << single[o][i]
                << " on one thread, " << pooled[o][i] << " on the pool";
        }
    }
}

TEST(Threading, PoolAndCallingThreadGiveTheSameOutputs) {
    {
        auto graph = TfliteReader::read(allOpsModel().write(), "tiny.tflite");
        ASSERT_TRUE(succeeded(graph));
        expectPoolAgrees(*graph,
                         noise(std::size_t(graph->tensors[graph->inputs[0]].elementCount()), 5));
    }
    if (!modelDir())
        GTEST_SKIP() << "the hand models are not installed (scripts/fetch-models.sh)";
    for (const char* file :
         {MediaPipeHandPose::kPalmModelFile, MediaPipeHandPose::kLandmarkModelFile}) {
        const ModelOnPhoto model = modelOnPhoto(file);
        ASSERT_TRUE(model.graph) << model.error;
        expectPoolAgrees(*model.graph, model.input);
    }
}

std::chrono::nanoseconds callerCpuTime() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

TEST(Threading, ThePoolCountsItsWorkersCpuAndNotTheCallers) {
    using namespace std::chrono_literals;
    EXPECT_EQ(ThreadPool(1).workerCpuTime().count(), 0) << "no pool, no workers";
    ThreadPool pool(2);
    ASSERT_TRUE(pool.handle());
    const auto before = pool.workerCpuTime();
    EXPECT_GT(before.count(), 0) << "the worker has run its start-up task: its clock is found";
    // The worker sleeps between tasks: CPU spent on this thread alone is not its.
    const auto start = callerCpuTime();
    volatile double sink = 0.0;
    while (callerCpuTime() - start < 30ms)
        sink = sink + std::sqrt(double(sink) + 2.0);
    EXPECT_LT(pool.workerCpuTime() - before, 10ms);
}

TEST(Threading, TheHandPoseStepRecordsWhatEachFrameCost) {
    PALMCUE_SKIP_WITHOUT_MODELS();
    const cv::Mat picture = samplePicture();
    cv::Mat bgra;
    cv::cvtColor(picture, bgra, cv::COLOR_BGR2BGRA);
    const ImageView frame{bgra.data, bgra.cols, bgra.rows, int(bgra.step[0])};
    for (const int threads : {1, 2}) {
        MediaPipeHandPose pose({*modelDir(), threads});
        const auto none = pose.costs().totals();
        EXPECT_EQ(none.frames, 0u);
        EXPECT_EQ(none.percentileMs(0.5), 0.0);
        // A refused frame ran no model: not counted.
        EXPECT_EQ(pose.detect({nullptr, 4, 4, 16}, 1).fault(), HandPoseFault::PerformFailed);
        const auto hands = pose.detect(frame, 1);
        ASSERT_TRUE(succeeded(hands));
        const auto one = pose.costs().totals();
        EXPECT_EQ(one.frames, 1u) << threads << " threads";
        EXPECT_EQ(one.framesWithHand, hands->empty() ? 0u : 1u);
        EXPECT_GT(one.cpu.count(), 0);
        EXPECT_GT(one.percentileMs(0.99), 0.0);
        EXPECT_EQ(one.since(none).frames, 1u);
        EXPECT_EQ(one.since(one).percentileMs(0.5), 0.0);
    }
}

} // namespace
} // namespace palmcue::handpose::test
