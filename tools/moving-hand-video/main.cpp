// SPDX-License-Identifier: Apache-2.0
// palmcue-moving-hand-video HANDS_DIR OUT.avi
// Makes a 1280x720, 30 fps MJPEG video (as many webcams deliver) of a hand that moves as a
// person's does while holding a finger up: photos of one raised finger from HANDS_DIR, each for
// 2.5 s, drifting across a textured grey background, coming close and going back, and turning up
// to 30 degrees either way. Prints, for each photo, its first and last frame and its file name,
// so that a test knows which finger each frame shows. The same input always gives the same video.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kFps = 30.0;
constexpr int kFramesEach = 75;
// Two raised index fingers and two thumbs, each against its own room. The palm detector finds
// the first two only while they are close (one_hagrid_01.jpg only when it fills the frame's
// height): each photo starts close and upright, so that the hand is found, and then what the
// video tests is keeping it while it goes back and turns.
constexpr const char* kPhotos[] = {"one_hagrid_01.jpg", "like_hagrid_03.jpg", "one_hagrid_03.jpg",
                                   "like_hagrid_01.jpg"};

// Grey with a faint blotchy texture, as a wall out of focus; the same every run.
cv::Mat background() {
    cv::Mat noise(kHeight / 8, kWidth / 8, CV_32F);
    cv::RNG rng(21);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, 18.0);
    cv::GaussianBlur(noise, noise, {0, 0}, 2.0);
    cv::resize(noise, noise, {kWidth, kHeight}, 0, 0, cv::INTER_CUBIC);
    cv::Mat grey;
    noise.convertTo(grey, CV_8U, 1.0, 118.0);
    cv::Mat bgr;
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
    return bgr;
}

// Where photo `index` stands at `phase` (0 to 1 over its time on screen): its centre drifts
// up to 250 px sideways and 60 px up and down, it turns up to 30 degrees either way and its
// longer side goes from 720 px down to 360 px and back.
cv::Mat placement(const cv::Mat& photo, int index, double phase) {
    const double turn = 2.0 * std::numbers::pi * phase;
    const double side = index % 2 ? -1.0 : 1.0; // alternate photos drift the other way first
    const double angle = 30.0 * std::sin(turn);
    const double longer = 540.0 + 180.0 * std::cos(turn);
    const double scale = longer / std::max(photo.cols, photo.rows);
    const cv::Point2d centre(kWidth / 2.0 + side * 250.0 * std::sin(turn + 0.6),
                             kHeight / 2.0 + 60.0 * std::sin(2.0 * turn));
    cv::Mat matrix = cv::getRotationMatrix2D({photo.cols / 2.0F, photo.rows / 2.0F}, angle, scale);
    matrix.at<double>(0, 2) += centre.x - photo.cols / 2.0;
    matrix.at<double>(1, 2) += centre.y - photo.rows / 2.0;
    return matrix;
}

// Draws `photo` onto `frame` where `matrix` puts it, touching only the pixels it covers.
void draw(const cv::Mat& photo, cv::Mat matrix, cv::Mat& frame) {
    const std::vector<cv::Point2f> corners = {{0, 0},
                                              {float(photo.cols), 0},
                                              {0, float(photo.rows)},
                                              {float(photo.cols), float(photo.rows)}};
    std::vector<cv::Point2f> placed;
    cv::transform(corners, placed, matrix);
    const cv::Rect box = cv::boundingRect(placed) & cv::Rect(0, 0, frame.cols, frame.rows);
    if (box.empty())
        return;
    matrix.at<double>(0, 2) -= box.x;
    matrix.at<double>(1, 2) -= box.y;
    cv::Mat area = frame(box);
    cv::warpAffine(photo, area, matrix, area.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
}

} // namespace

int main(int argc, char** argv) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    if (argc != 3) {
        std::fprintf(stderr, "usage: palmcue-moving-hand-video HANDS_DIR OUT.avi\n");
        return 2;
    }
    const std::string hands = argv[1];
    const std::string out = argv[2];
    cv::VideoWriter video(out, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                          kFps, {kWidth, kHeight});
    if (!video.isOpened()) {
        std::fprintf(stderr, "palmcue-moving-hand-video: cannot write a video to %s\n",
                     out.c_str());
        return 1;
    }
    const cv::Mat ground = background();
    cv::Mat frame;
    int first = 0;
    for (int index = 0; const char* name : kPhotos) {
        const cv::Mat photo = cv::imread(hands + "/" + name, cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::fprintf(stderr, "palmcue-moving-hand-video: cannot read %s/%s\n", hands.c_str(),
                         name);
            return 1;
        }
        for (int i = 0; i < kFramesEach; ++i) {
            ground.copyTo(frame);
            draw(photo, placement(photo, index, double(i) / kFramesEach), frame);
            video.write(frame);
        }
        std::printf("%d %d %s\n", first, first + kFramesEach - 1, name);
        first += kFramesEach;
        ++index;
    }
    return 0;
}
