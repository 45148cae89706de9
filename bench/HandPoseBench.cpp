// SPDX-License-Identifier: Apache-2.0
// palmcue-bench-handpose [--threads N] [--iterations N] [--interval MS] [--hogs N]
//                        [--photo FILE | --no-hand]
// Runs MediaPipeHandPose::detect on a 1280×720 BGRA frame (a hand photo from ../shared/hands
// placed on a camera-sized canvas, else a synthetic picture; --no-hand: the bare canvas), one
// frame every --interval ms as the camera paces the analysed frames (0: back to back), and
// prints the wall time of each stage, the step's CPU per frame (every thread working on it)
// and the whole process's CPU per frame, which also counts what a pool does between frames.
// --hogs N keeps N other processes spinning on the CPU meanwhile.
#include "BenchSupport.h"
#include "handpose/MediaPipeHandPose.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>
#include <vector>

namespace {

using palmcue::handpose::MediaPipeHandPose;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

cv::Mat cameraFrame(const std::string& photoPath, std::string& description) {
    cv::Mat canvas(kHeight, kWidth, CV_8UC3, cv::Scalar(90, 100, 110));
    cv::Mat photo = photoPath.empty() ? cv::Mat() : cv::imread(photoPath, cv::IMREAD_COLOR);
    if (!photo.empty()) {
        const double scale = std::min(double(kWidth) / photo.cols, double(kHeight) / photo.rows);
        cv::Mat scaled;
        cv::resize(photo, scaled, {}, scale, scale, cv::INTER_AREA);
        scaled.copyTo(canvas(cv::Rect((kWidth - scaled.cols) / 2, (kHeight - scaled.rows) / 2,
                                      scaled.cols, scaled.rows)));
        description = photoPath + " scaled onto 1280x720";
    } else if (photoPath.empty()) {
        description = "plain 1280x720 picture (no hand)";
    } else {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                canvas.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, (x * y) % 256);
        cv::ellipse(canvas, {640, 400}, {90, 120}, 0, 0, 360, {120, 160, 210}, cv::FILLED);
        description = "synthetic 1280x720 picture (no hand photo found)";
    }
    cv::Mat bgra;
    cv::cvtColor(canvas, bgra, cv::COLOR_BGR2BGRA);
    return bgra;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char** argv) {
    int threads = 1;
    int iterations = 200;
    int intervalMs = 100;
    int hogCount = 0;
    std::string photo = std::string(PALMCUE_SHARED_DIR) + "/hands/gr_pointing_up.jpg";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--no-hand")
            photo.clear();
        else if (arg == "--threads" && hasValue)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--iterations" && hasValue)
            iterations = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--interval" && hasValue)
            intervalMs = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--hogs" && hasValue)
            hogCount = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--photo" && hasValue)
            photo = argv[++i];
        else {
            std::fprintf(stderr, "usage: palmcue-bench-handpose [--threads N] [--iterations N] "
                                 "[--interval MS] [--hogs N] [--photo FILE | --no-hand]\n");
            return 2;
        }
    }
    palmcue::bench::CpuHogs hogs(hogCount);

    std::string description;
    const cv::Mat frame = cameraFrame(photo, description);
    MediaPipeHandPose pose({MediaPipeHandPose::defaultModelDir(), threads});
    const auto loadStart = std::chrono::steady_clock::now();
    if (const palmcue::Result<void> loaded = pose.load(); !loaded) {
        std::fprintf(stderr, "palmcue-bench-handpose: %s\n", loaded.error().c_str());
        return 2;
    }
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart)
            .count();
    const palmcue::ImageView view{frame.data, frame.cols, frame.rows, int(frame.step[0])};

    // The first frames touch fresh memory and warm the caches: not what a running camera sees.
    for (int i = 0; i < 10; ++i)
        (void)pose.detect(view, 1);

    const auto before = pose.costs().totals();
    const double cpuBefore = palmcue::bench::processCpuSeconds();
    std::vector<double> palm, landmark, prePost, total;
    int found = 0;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(intervalMs);
        const auto start = std::chrono::steady_clock::now();
        const palmcue::HandPoseResult hands = pose.detect(view, 1);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!hands) {
            std::fprintf(stderr, "palmcue-bench-handpose: %s\n", hands.error().c_str());
            return 1;
        }
        found += !hands->empty();
        const auto& t = pose.lastStageTimes();
        palm.push_back(t.palm);
        landmark.push_back(t.landmark);
        prePost.push_back(t.prePost);
        total.push_back(ms);
    }
    // The process's CPU up to the next frame: what a pool spins after the last one counts too.
    std::this_thread::sleep_until(next);
    const double processMs = 1000.0 * (palmcue::bench::processCpuSeconds() - cpuBefore);
    const auto step = pose.costs().totals().since(before);

    std::printf("frame: %s\nthreads: %d, iterations: %d, one every %d ms, hand found in %d, "
                "model load + network build: %.1f ms\n",
                description.c_str(), threads, iterations, intervalMs, found, loadMs);
    std::printf("other processes spinning: %d, load average %s\n", hogCount,
                palmcue::bench::loadAverage().c_str());
    std::printf("%-10s %10s %10s %10s\n", "stage", "median ms", "p90 ms", "p99 ms");
    const std::pair<const char*, const std::vector<double>*> rows[] = {
        {"palm", &palm}, {"landmark", &landmark}, {"pre/post", &prePost}, {"total", &total}};
    for (const auto& [name, values] : rows)
        std::printf("%-10s %10.2f %10.2f %10.2f\n", name, percentile(*values, 0.5),
                    percentile(*values, 0.9), percentile(*values, 0.99));
    std::printf("CPU per frame: hand-pose step %.2f ms, whole process %.2f ms\n",
                std::chrono::duration<double, std::milli>(step.cpu).count() / iterations,
                processMs / iterations);
    return 0;
}
