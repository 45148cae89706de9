// Adaptive threading: a network's pooled and single-threaded runtimes compute the same thing, and
// the chooser settles on whichever is faster, following the timings as they change.
#include "ModelFiles.h"
#include "TinyModels.h"
#include "handpose/MediaPipeHandPose.h"
#include "handpose/TfliteReader.h"
#include "handpose/ThreadPool.h"
#include "handpose/VariantChooser.h"
#include "handpose/XnnpackNetwork.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace palmcue::handpose::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kPooled = 0;
constexpr std::size_t kSingle = 1;

// Runs `frames` choices where each variant takes the time given, and counts how many went to
// each.
std::array<int, 2> runFrames(VariantChooser& chooser, int frames, std::chrono::nanoseconds pooled,
                             std::chrono::nanoseconds single) {
    std::array<int, 2> counts{};
    for (int i = 0; i < frames; ++i) {
        const std::size_t v = chooser.choose();
        EXPECT_LT(v, 2u);
        chooser.report(v, v == kPooled ? pooled : single);
        ++counts[v];
    }
    return counts;
}

TEST(VariantChooser, TriesEachOnceThenRunsTheFasterAndRetriesTheOther) {
    VariantChooser chooser(2);
    EXPECT_EQ(chooser.choose(), kPooled);
    chooser.report(kPooled, 20ms);
    EXPECT_EQ(chooser.choose(), kSingle);
    chooser.report(kSingle, 10ms);
    std::vector<std::size_t> picks;
    for (int i = 0; i < 3 * VariantChooser::kRetryEvery; ++i) {
        picks.push_back(chooser.choose());
        chooser.report(picks.back(), picks.back() == kPooled ? 20ms : 10ms);
    }
    // The slower one comes back exactly once every kRetryEvery choices.
    for (std::size_t i = 0; i < picks.size(); ++i)
        EXPECT_EQ(picks[i], (i + 1) % VariantChooser::kRetryEvery == 0 ? kPooled : kSingle)
            << "choice " << i;
}

TEST(VariantChooser, FollowsTheLoadBothWays) {
    VariantChooser chooser(2);
    // Quiet: the pool is faster.
    auto counts = runFrames(chooser, 64, 11ms, 14ms);
    EXPECT_GE(counts[kPooled], 58);
    // Busy cores: the pool waits for its worker at every operator. The switch comes within the
    // window, not after many frames.
    counts = runFrames(chooser, VariantChooser::kWindow, 120ms, 20ms);
    counts = runFrames(chooser, 64, 120ms, 20ms);
    EXPECT_GE(counts[kSingle], 58);
    EXPECT_GE(counts[kPooled], 3) << "the pool is still retried now and then";
    // Quiet again: the retries find out, within a few of them.
    runFrames(chooser, VariantChooser::kWindow * VariantChooser::kRetryEvery, 11ms, 14ms);
    counts = runFrames(chooser, 64, 11ms, 14ms);
    EXPECT_GE(counts[kPooled], 58);
}

TEST(VariantChooser, OneSlowRunDoesNotSwitch) {
    VariantChooser chooser(2);
    runFrames(chooser, 40, 11ms, 14ms);
    std::size_t v = chooser.choose();
    while (v != kPooled) {
        chooser.report(v, 14ms);
        v = chooser.choose();
    }
    chooser.report(v, 2500ms); // preempted once
    const auto counts = runFrames(chooser, VariantChooser::kRetryEvery, 11ms, 14ms);
    EXPECT_LE(counts[kSingle], 1) << "only the regular retry";
}

TEST(VariantChooser, ASingleVariantIsAlwaysChosen) {
    VariantChooser chooser(1);
    for (int i = 0; i < 3 * VariantChooser::kRetryEvery; ++i) {
        ASSERT_EQ(chooser.choose(), 0u);
        chooser.report(0, std::chrono::milliseconds(i % 7));
    }
    chooser.report(5, 1ms); // out of range: ignored
    EXPECT_EQ(chooser.choose(), 0u);
}

std::vector<std::vector<float>> outputsOf(XnnpackNetwork& network, std::size_t runtime,
                                          const std::vector<float>& input) {
    std::copy(input.begin(), input.end(), network.input().begin());
    std::string error;
    EXPECT_TRUE(network.run(error, runtime)) << error;
    std::vector<std::vector<float>> outputs;
    for (std::size_t o = 0; o < network.graph().outputs.size(); ++o)
        outputs.emplace_back(network.output(o).begin(), network.output(o).end());
    return outputs;
}

// Compares the single-threaded runtime with the pooled one, relative to max(|value|, 1% of the
// output's largest magnitude).
void expectRuntimesAgree(const std::shared_ptr<const ModelGraph>& graph,
                         const std::vector<float>& input) {
    ThreadPool pool(2);
    ASSERT_TRUE(pool.handle());
    pthreadpool* const pools[] = {pool.handle(), nullptr};
    std::string error;
    auto network = XnnpackNetwork::create(graph, pools, error);
    ASSERT_TRUE(network) << error;
    ASSERT_EQ(network->runtimeCount(), 2u);
    ASSERT_EQ(network->input().size(), input.size());
    const auto pooled = outputsOf(*network, kPooled, input);
    // The runtimes share the buffers: leave other results in them first, so that a runtime that
    // wrote nothing cannot pass on the pool's.
    std::vector<float> inverted(input.size());
    std::transform(input.begin(), input.end(), inverted.begin(), [](float v) { return 1 - v; });
    ASSERT_NE(outputsOf(*network, kPooled, inverted), pooled);
    const auto single = outputsOf(*network, kSingle, input);
    for (std::size_t o = 0; o < pooled.size(); ++o) {
        double largest = 0.0;
        for (float v : pooled[o])
            largest = std::max(largest, std::abs(double(v)));
        for (std::size_t i = 0; i < pooled[o].size(); ++i) {
            const double scale = std::max({std::abs(double(pooled[o][i])), 1e-2 * largest, 1e-30});
            ASSERT_LE(std::abs(double(single[o][i]) - pooled[o][i]) / scale, 1e-5)
                << graph->source << " output " << o << " element " << i << ": " << single[o][i]
                << " on one thread, " << pooled[o][i] << " on the pool";
        }
    }
    EXPECT_FALSE(network->run(error, 2));
    EXPECT_NE(error.find("no runtime 2"), std::string::npos) << error;
}

TEST(VariantRuntimes, PooledAndSingleThreadedGiveTheSameOutputs) {
    {
        std::string error;
        auto graph = TfliteReader::read(allOpsModel().write(), "tiny.tflite", error);
        ASSERT_TRUE(graph) << error;
        const auto shared = std::make_shared<const ModelGraph>(std::move(*graph));
        expectRuntimesAgree(
            shared, noise(std::size_t(shared->tensors[shared->inputs[0]].elementCount()), 5));
    }
    if (!modelDir())
        GTEST_SKIP() << "the hand models are not installed (scripts/fetch-models.sh)";
    for (const char* file :
         {MediaPipeHandPose::kPalmModelFile, MediaPipeHandPose::kLandmarkModelFile}) {
        const ModelOnPhoto model = modelOnPhoto(file);
        ASSERT_TRUE(model.graph) << model.error;
        expectRuntimesAgree(model.graph, model.input);
    }
}

} // namespace
} // namespace palmcue::handpose::test
