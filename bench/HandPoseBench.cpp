// SPDX-License-Identifier: Apache-2.0
// palmcue-bench-handpose [--threads N] [--iterations N] [--interval MS] [--hogs N]
//                        [--photo FILE | --no-hand | --video FILE [--every N]]
// Runs MediaPipeHandPose::detect on 1280×720 BGRA frames in sequence, as the application
// does within a session: the same frame each time (a hand held still: a hand photo from
// ../shared/hands placed on a camera-sized canvas, else a synthetic picture; --no-hand: the
// bare canvas) or one frame in --every of a video (a hand moving), one frame every --interval
// ms as the camera paces the analysed frames (0: back to back). Prints the wall time of each
// stage, the share of frames the palm detector looked at, the step's CPU per frame (every
// thread working on it) and the whole process's CPU per frame, which also counts what a pool
// does between frames (and, for a video, its decoding). --hogs N keeps N other processes
// spinning on the CPU meanwhile.
#include "BenchSupport.h"
#include "handpose/MediaPipeHandPose.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
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

// The analysed frames: the same still picture each time, or one frame in `every` of a video,
// played again from its start when it ends.
class Frames {
public:
    explicit Frames(cv::Mat still) : frame_(std::move(still)) {}
    Frames(const std::string& video, int every) : video_(video), every_(every) {}

    bool ok() const { return !frame_.empty() || video_.isOpened(); }

    // The next analysed frame; empty when the video cannot be read.
    palmcue::ImageView next() {
        if (video_.isOpened()) {
            for (int i = 1; i < every_; ++i)
                grab();
            cv::Mat bgr;
            if (!grab() || !video_.retrieve(bgr))
                return {};
            cv::cvtColor(bgr, frame_, cv::COLOR_BGR2BGRA);
        }
        return {frame_.data, frame_.cols, frame_.rows, int(frame_.step[0])};
    }

private:
    bool grab() {
        if (video_.grab())
            return true;
        video_.set(cv::CAP_PROP_POS_FRAMES, 0);
        return video_.grab();
    }

    cv::Mat frame_;
    cv::VideoCapture video_;
    int every_ = 1;
};

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
    int every = 3;
    std::string photo = std::string(PALMCUE_SHARED_DIR) + "/hands/gr_pointing_up.jpg";
    std::string video;
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
        else if (arg == "--video" && hasValue)
            video = argv[++i];
        else if (arg == "--every" && hasValue)
            every = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: palmcue-bench-handpose [--threads N] [--iterations N] "
                                 "[--interval MS] [--hogs N] [--photo FILE | --no-hand | "
                                 "--video FILE [--every N]]\n");
            return 2;
        }
    }
    palmcue::bench::CpuHogs hogs(hogCount);

    std::string description;
    Frames frames = video.empty() ? Frames(cameraFrame(photo, description)) : Frames(video, every);
    if (!video.empty())
        description = video + ", one frame in " + std::to_string(every);
    if (!frames.ok()) {
        std::fprintf(stderr, "palmcue-bench-handpose: cannot read %s\n", video.c_str());
        return 2;
    }
    MediaPipeHandPose pose({MediaPipeHandPose::defaultModelDir(), threads});
    const auto loadStart = std::chrono::steady_clock::now();
    if (const palmcue::Result<void> loaded = pose.load(); !loaded) {
        std::fprintf(stderr, "palmcue-bench-handpose: %s\n", loaded.error().c_str());
        return 2;
    }
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart)
            .count();
    // The first frames touch fresh memory and warm the caches: not what a running camera sees.
    // Then the measured frames follow on, as a session's do.
    for (int i = 0; i < 10; ++i)
        (void)pose.detect(frames.next(), 1);

    const auto before = pose.costs().totals();
    const double cpuBefore = palmcue::bench::processCpuSeconds();
    std::vector<double> palm, landmark, prePost, total;
    int found = 0, palmRan = 0;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(intervalMs);
        const palmcue::ImageView view = frames.next();
        if (!view.data) {
            std::fprintf(stderr, "palmcue-bench-handpose: cannot read a frame of %s\n",
                         video.c_str());
            return 1;
        }
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
        palmRan += t.palmRan;
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
                "palm detector ran on %d, model load + network build: %.1f ms\n",
                description.c_str(), threads, iterations, intervalMs, found, palmRan, loadMs);
    std::printf("other processes spinning: %d, load average %s\n", hogCount,
                palmcue::bench::loadAverage().c_str());
    std::printf("%-10s %10s %10s %10s\n", "stage", "median ms", "p90 ms", "p99 ms");
    const std::pair<const char*, const std::vector<double>*> rows[] = {
        {"palm", &palm}, {"landmark", &landmark}, {"pre/post", &prePost}, {"total", &total}};
    for (const auto& [name, values] : rows)
        std::printf("%-10s %10.2f %10.2f %10.2f\n", name, percentile(*values, 0.5),
                    percentile(*values, 0.9), percentile(*values, 0.99));
    auto mean = [&](const std::vector<double>& values) {
        double sum = 0.0;
        for (const double value : values)
            sum += value;
        return sum / iterations;
    };
    const double stepMs = std::chrono::duration<double, std::milli>(step.cpu).count() / iterations;
    std::printf("mean ms per frame: palm %.2f, landmark %.2f, pre/post %.2f\n", mean(palm),
                mean(landmark), mean(prePost));
    std::printf("CPU per frame: hand-pose step %.2f ms, whole process %.2f ms\n", stepMs,
                processMs / iterations);
    // One line for scripts to pick up.
    std::printf("summary: cpu_ms=%.2f frames=%d found=%d palm_ran=%d palm_ms=%.2f "
                "landmark_ms=%.2f prepost_ms=%.2f load=%s\n",
                stepMs, iterations, found, palmRan, mean(palm), mean(landmark), mean(prePost),
                palmcue::bench::loadAverage().c_str());
    return 0;
}
