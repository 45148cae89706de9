// palmcue-bench-handpose [--threads N] [--iterations N] [--photo FILE]
// Times MediaPipeHandPose::detect on a 1280×720 BGRA frame (a hand photo from ../shared/hands
// placed on a camera-sized canvas, else a synthetic picture) and prints the median and 90th
// percentile of each stage. Target: median total ≤ 10 ms with 2 threads.
#include "handpose/MediaPipeHandPose.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace {

using palmcue::handpose::MediaPipeHandPose;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

cv::Mat cameraFrame(const std::string& photoPath, std::string& description) {
    cv::Mat canvas(kHeight, kWidth, CV_8UC3, cv::Scalar(90, 100, 110));
    cv::Mat photo = cv::imread(photoPath, cv::IMREAD_COLOR);
    if (!photo.empty()) {
        const double scale = std::min(double(kWidth) / photo.cols, double(kHeight) / photo.rows);
        cv::Mat scaled;
        cv::resize(photo, scaled, {}, scale, scale, cv::INTER_AREA);
        scaled.copyTo(canvas(cv::Rect((kWidth - scaled.cols) / 2, (kHeight - scaled.rows) / 2,
                                      scaled.cols, scaled.rows)));
        description = photoPath + " scaled onto 1280x720";
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
    int threads = 2;
    int iterations = 200;
    std::string photo = std::string(PALMCUE_SHARED_DIR) + "/hands/gr_pointing_up.jpg";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--threads")
            threads = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--iterations")
            iterations = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--photo")
            photo = argv[i + 1];
    }

    std::string description;
    const cv::Mat frame = cameraFrame(photo, description);
    MediaPipeHandPose pose({MediaPipeHandPose::defaultModelDir(), threads});
    const auto loadStart = std::chrono::steady_clock::now();
    std::string error;
    if (!pose.load(error)) {
        std::fprintf(stderr, "palmcue-bench-handpose: %s\n", error.c_str());
        return 2;
    }
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart)
            .count();
    const palmcue::ImageView view{frame.data, frame.cols, frame.rows, int(frame.step[0])};

    // The first frames touch fresh memory and warm the caches: not what a running camera sees.
    for (int i = 0; i < 10; ++i)
        pose.detect(view, 1);

    std::vector<double> palm, landmark, prePost, total;
    int found = 0, palmSingle = 0, landmarkSingle = 0;
    for (int i = 0; i < iterations; ++i) {
        const auto outcome = pose.detect(view, 1);
        if (outcome.status != palmcue::HandPoseOutcome::Status::Ok) {
            std::fprintf(stderr, "palmcue-bench-handpose: %s\n", outcome.errorDescription.c_str());
            return 1;
        }
        found += !outcome.observations.empty();
        const auto& t = pose.lastStageTimes();
        palmSingle += t.palmRuntime == 1;
        landmarkSingle += !outcome.observations.empty() && t.landmarkRuntime == 1;
        palm.push_back(t.palm);
        landmark.push_back(t.landmark);
        prePost.push_back(t.prePost);
        total.push_back(t.palm + t.landmark + t.prePost);
    }

    std::printf("frame: %s\nthreads: %d, iterations: %d, hand found in %d, model load + "
                "network build: %.1f ms\n",
                description.c_str(), threads, iterations, found, loadMs);
    if (threads > 1)
        std::printf("run on the calling thread alone: palm %d of %d frames, landmark %d of %d\n",
                    palmSingle, iterations, landmarkSingle, found);
    std::printf("%-10s %10s %10s\n", "stage", "median ms", "p90 ms");
    const std::pair<const char*, const std::vector<double>*> rows[] = {
        {"palm", &palm}, {"landmark", &landmark}, {"pre/post", &prePost}, {"total", &total}};
    for (const auto& [name, values] : rows)
        std::printf("%-10s %10.2f %10.2f\n", name, percentile(*values, 0.5),
                    percentile(*values, 0.9));
    return 0;
}
