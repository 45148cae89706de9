// SPDX-License-Identifier: Apache-2.0
#include "ModelFiles.h"

#include "handpose/MediaPipeHandPose.h"
#include "handpose/TfliteReader.h"
#include "support/SharedData.h"

#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace palmcue::handpose::test {

std::optional<std::string> modelDir() {
    const char* dir = std::getenv("PALMCUE_MODEL_DIR");
    if (!dir || !*dir)
        return std::nullopt;
    for (const char* file :
         {MediaPipeHandPose::kPalmModelFile, MediaPipeHandPose::kLandmarkModelFile})
        if (!std::filesystem::is_regular_file(std::filesystem::path(dir) / file))
            return std::nullopt;
    return std::string(dir);
}

std::string modelPath(const char* file) {
    return (std::filesystem::path(modelDir().value_or(".")) / file).string();
}

cv::Mat samplePicture() {
    if (const auto dir = palmcue::test::sharedHandsDir()) {
        cv::Mat photo = cv::imread(dir->toStdString() + "/gr_pointing_up.jpg", cv::IMREAD_COLOR);
        if (!photo.empty())
            return photo;
    }
    // Smooth gradients and a few shapes: enough structure to light up every layer.
    cv::Mat picture(480, 640, CV_8UC3);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x)
            picture.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 255 / 640, y * 255 / 480, (x + y) % 256);
    cv::circle(picture, {320, 240}, 90, {40, 120, 220}, cv::FILLED);
    cv::rectangle(picture, {100, 60}, {200, 400}, {200, 200, 30}, cv::FILLED);
    return picture;
}

void fillInput(const cv::Mat& picture, int size, float* input) {
    cv::Mat resized, rgb;
    cv::resize(picture, resized, {size, size}, 0, 0, cv::INTER_AREA);
    cv::cvtColor(resized, rgb, cv::COLOR_BGR2RGB);
    cv::Mat target(size, size, CV_32FC3, input);
    rgb.convertTo(target, CV_32F, 1.0 / 255.0);
}

ModelOnPhoto modelOnPhoto(const char* file) {
    ModelOnPhoto result;
    auto graph = TfliteReader::readFile(modelPath(file));
    if (!graph) {
        result.error = graph.error();
        return result;
    }
    result.graph = std::make_shared<const ModelGraph>(std::move(*graph));
    const int size = result.graph->tensors[result.graph->inputs[0]].shape[1];
    result.input.resize(std::size_t(size) * size * 3);
    fillInput(samplePicture(), size, result.input.data());
    return result;
}

} // namespace palmcue::handpose::test
