// SPDX-License-Identifier: Apache-2.0
#include "handpose/MediaPipeHandPose.h"

#include "engine/FingerClassifier.h"
#include "handpose/HandModels.h"
#include "handpose/HandRegion.h"
#include "handpose/HandTracker.h"
#include "handpose/PalmDecoder.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#ifndef PALMCUE_MODEL_DIR_BUILD
#define PALMCUE_MODEL_DIR_BUILD "models"
#endif

namespace palmcue::handpose {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPalmSize = HandModels::kPalmSize;
constexpr int kLandmarkSize = HandModels::kLandmarkSize;
constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = 64ll << 20;
constexpr int kMaxBytesPerRow = 1 << 20;

// How far outside the frame a joint may lie and still be used, in palm lengths (wrist to
// middle knuckle); see jointConfidence().
constexpr double kOutsideMarginPalms = 0.3;
// When the frame shows no hand, the palm model looks again at the frame shrunk inside its
// input. It misses many palms that fill much of its input or run off the frame's edge, as a
// hand held close to the camera does: on the shared photos cut 0 to 0.4 palm lengths above the
// wrist it found 112 of 155 hands at full size and 141 with a second look shrunk by 1.5 (1.75:
// 140, 2: 138). A single look at a shrunk frame is no substitute: it loses hands far from the
// camera (photos placed at 45 % of a 1280x720 frame's height: 30 found at full size, 10 shrunk
// by 1.5). A third look shrunk by 2 finds the closest hands, those whose palm the frame cuts
// most: on the 32 upright photos cut 0.1 to 0.4 palm lengths above the wrist, 111 of 128 were
// found after two looks and 117 after three, with 33 right single fingers instead of 31 and no
// more wrong ones; in 77 hand-free parts of the photos (people, rooms), no more hands.
struct Look {
    double shrink;
    // Taken only when the look before saw something palm-like: its best anchor scored this.
    float minScoreBefore;
};
// The second look costs a palm run on every frame without a hand, so it is taken only when the
// first saw something: of the cut photos it rescued, all but one (0.05) had a best anchor score
// of 0.095 or more at full size, while about half of the hand-free parts of the photos (people,
// rooms) score below 0.07, and a plain scene near 0. The third needs half the palm threshold
// from the second. Taken from 0.07, it found 8 hands, 6 of them after a second look of 0.28 or
// more, but it also ran on 29 of the 77 hand-free parts and found a hand in one; from 0.25 it
// runs on 13 of them (0.17 palm runs a frame more there) and finds none.
constexpr Look kLooks[] = {{1.0, 0.0f}, {1.5, 0.07f}, {2.0, 0.25f}};

std::chrono::nanoseconds threadCpuTime() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string frameFault(const ImageView& image) {
    if (!image.data)
        return "the frame has no pixel data";
    if (image.width < 1 || image.height < 1)
        return "the frame is " + std::to_string(image.width) + "x" + std::to_string(image.height) +
               " pixels";
    if (image.width > kMaxSide || image.height > kMaxSide ||
        std::int64_t(image.width) * image.height > kMaxPixels)
        return "the frame is too large (" + std::to_string(image.width) + "x" +
               std::to_string(image.height) + ")";
    if (image.bytesPerRow < 4 * image.width || image.bytesPerRow > kMaxBytesPerRow)
        return "the frame's row stride of " + std::to_string(image.bytesPerRow) +
               " bytes does not fit " + std::to_string(image.width) + " BGRA pixels";
    return {};
}

} // namespace

std::string MediaPipeHandPose::defaultModelDir() {
    if (const char* env = std::getenv("PALMCUE_MODEL_DIR"); env && *env)
        return env;
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto installed = exe.parent_path().parent_path() / "share" / "palmcue" / "models";
        if (std::filesystem::is_directory(installed, error))
            return installed.string();
    }
    return PALMCUE_MODEL_DIR_BUILD;
}

class MediaPipeHandPose::Pipeline {
public:
    explicit Pipeline(Options options) : models_(std::move(options.modelDir), options.threads) {}

    Result<void> load() {
        if (models_.loaded())
            return {};
        if (Result<void> loaded = models_.load(); !loaded)
            return loaded;
        cropBgra_.create(kLandmarkSize, kLandmarkSize, CV_8UC4);
        cropRgb_.create(kLandmarkSize, kLandmarkSize, CV_8UC3);
        letterboxRgb_ = cv::Mat::zeros(kPalmSize, kPalmSize, CV_8UC3);
        return {};
    }

    HandPoseResult detect(const ImageView& image, int maximumHandCount) {
        times_ = {};
        const auto start = Clock::now();
        HandPoseResult hands = detectHand(image, maximumHandCount);
        times_.prePost = std::max(0.0, msSince(start) - times_.palm - times_.landmark);
        return hands;
    }

    void reset() { tracker_.lose(); }

    const StageTimes& times() const { return times_; }

    // CPU time of every thread that works on a frame: the caller's and the pool's.
    std::chrono::nanoseconds cpuTime() const { return threadCpuTime() + models_.workerCpuTime(); }

private:
    // The hand followed from the last frame, when the landmark model still sees it there; else
    // the palm detector looks at this very frame, so that a hand that moved fast is found again
    // at once.
    HandPoseResult detectHand(const ImageView& image, int maximumHandCount) {
        if (const std::string fault = frameFault(image); !fault.empty())
            return failure(HandPoseFault::PerformFailed, "Unusable frame: " + fault);
        if (Result<void> loaded = load(); !loaded)
            return failure(HandPoseFault::PerformFailed, loaded.error());
        std::vector<HandObservation> hands;
        if (maximumHandCount < 1)
            return hands;
        const cv::Mat frame(image.height, image.width, CV_8UC4, const_cast<uint8_t*>(image.data),
                            std::size_t(image.bytesPerRow));
        if (const auto followed = tracker_.region(image.width, image.height)) {
            if (Result<void> looked = landmarksIn(frame, *followed, image, hands); !looked)
                return failure(HandPoseFault::RequestFailed, looked.error());
            if (!hands.empty())
                return hands;
        }
        for (std::size_t look = 0; look < std::size(kLooks); ++look) {
            if (look > 0 && decoder_.bestScore() < kLooks[look].minScoreBefore)
                break;
            if (Result<void> looked = findHand(frame, image, kLooks[look].shrink, hands); !looked)
                return failure(HandPoseFault::RequestFailed, looked.error());
            if (!hands.empty())
                break;
        }
        return hands;
    }

    // Palm detection on the frame shrunk by `shrink` inside the palm model's input, then the
    // landmarks of the most confident palm. Fails when a network fails.
    Result<void> findHand(const cv::Mat& frame, const ImageView& image, double shrink,
                          std::vector<HandObservation>& hands) {
        prepareLetterbox(frame, shrink);
        times_.palmRan = true;
        XnnpackNetwork& palm = models_.palm();
        if (Result<void> ran = run(palm, times_.palm); !ran)
            return ran;
        const auto& palms = palm.output(0).size() > palm.output(1).size()
                                ? decoder_.decode(palm.output(0), palm.output(1))
                                : decoder_.decode(palm.output(1), palm.output(0));
        if (palms.empty())
            return {};
        return landmarksIn(frame, HandRegion::fromPalm(toFramePixels(palms.front())), image, hands);
    }

    // The landmark model on `region`: adds the hand to `hands` and follows it when the model
    // sees one there, else loses it.
    Result<void> landmarksIn(const cv::Mat& frame, const HandRegion& region, const ImageView& image,
                             std::vector<HandObservation>& hands) {
        prepareCrop(frame, region);
        XnnpackNetwork& landmark = models_.landmark();
        if (Result<void> ran = run(landmark, times_.landmark); !ran)
            return ran;
        const float presence = landmark.output(1)[0];
        if (presence < kPresenceThreshold) {
            tracker_.lose();
            return {};
        }
        std::array<PalmPoint, kJointCount> joints;
        const auto landmarks = landmark.output(0);
        for (int j = 0; j < kJointCount; ++j)
            joints[j] = region.toFrame(landmarks[3 * j], landmarks[3 * j + 1], kLandmarkSize);
        hands.push_back(observation(joints, presence, image));
        tracker_.follow(joints, image.width, image.height);
        return {};
    }

    // Runs `network` and adds its wall time to `ms`.
    static Result<void> run(XnnpackNetwork& network, double& ms) {
        const auto start = Clock::now();
        Result<void> ran = network.run();
        ms += msSince(start);
        return ran;
    }

    // The frame scaled to fit 192×192 (and then shrunk by `shrink`), centred on black, as RGB
    // in [0, 1].
    void prepareLetterbox(const cv::Mat& frame, double shrink) {
        const double scale = double(kPalmSize) / std::max(frame.cols, frame.rows) / shrink;
        const int width = std::clamp(int(std::lround(frame.cols * scale)), 1, kPalmSize);
        const int height = std::clamp(int(std::lround(frame.rows * scale)), 1, kPalmSize);
        if (width != letterbox_.width || height != letterbox_.height) {
            letterbox_ = cv::Rect((kPalmSize - width) / 2, (kPalmSize - height) / 2, width, height);
            letterboxRgb_.setTo(cv::Scalar::all(0));
        }
        // Area averaging keeps a big downscale from aliasing, but OpenCV's general (non-integer)
        // area resize costs ~4 ms on a 1280×720 frame. Bilinear to twice the size and then an
        // exact 2:1 area step gives nearly the same picture in ~0.2 ms.
        if (frame.cols >= 4 * letterbox_.width && frame.rows >= 4 * letterbox_.height) {
            cv::resize(frame, halfway_, letterbox_.size() * 2, 0, 0, cv::INTER_LINEAR);
            cv::resize(halfway_, resized_, letterbox_.size(), 0, 0, cv::INTER_AREA);
        } else {
            cv::resize(frame, resized_, letterbox_.size(), 0, 0, cv::INTER_AREA);
        }
        cv::Mat target = letterboxRgb_(letterbox_);
        cv::cvtColor(resized_, target, cv::COLOR_BGRA2RGB);
        cv::Mat input(kPalmSize, kPalmSize, CV_32FC3, models_.palm().input().data());
        letterboxRgb_.convertTo(input, CV_32F, 1.0 / 255.0);
        frameWidth_ = frame.cols;
        frameHeight_ = frame.rows;
    }

    // Undoes the letterbox: 192-normalised coordinates to frame pixels.
    PalmDetection toFramePixels(const PalmDetection& palm) const {
        const double sx = double(frameWidth_) / letterbox_.width;
        const double sy = double(frameHeight_) / letterbox_.height;
        auto x = [&](double v) { return (v * kPalmSize - letterbox_.x) * sx; };
        auto y = [&](double v) { return (v * kPalmSize - letterbox_.y) * sy; };
        PalmDetection out = palm;
        out.xMin = x(palm.xMin);
        out.yMin = y(palm.yMin);
        out.width = palm.width * kPalmSize * sx;
        out.height = palm.height * kPalmSize * sy;
        for (std::size_t k = 0; k < out.keypoints.size(); ++k)
            out.keypoints[k] = {x(palm.keypoints[k].x), y(palm.keypoints[k].y)};
        return out;
    }

    void prepareCrop(const cv::Mat& frame, const HandRegion& region) {
        double m[6];
        region.cropToFrame(kLandmarkSize, m);
        const cv::Matx23d matrix(m[0], m[1], m[2], m[3], m[4], m[5]);
        cv::warpAffine(frame, cropBgra_, matrix, cropBgra_.size(),
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                       cv::Scalar::all(0));
        cv::cvtColor(cropBgra_, cropRgb_, cv::COLOR_BGRA2RGB);
        cv::Mat input(kLandmarkSize, kLandmarkSize, CV_32FC3, models_.landmark().input().data());
        cropRgb_.convertTo(input, CV_32F, 1.0 / 255.0);
    }

    // The landmark model gives no per-joint confidence, but it places every joint, also those
    // outside the frame, from what it sees of the rest of the hand. How far off such a joint is
    // was measured on the shared photos cut at each edge so that joints fell outside, against
    // the same photos uncut: a fingertip's median error grows from 0.04 palm lengths inside the
    // frame to 0.15 just outside, 0.25 at 0.2-0.3 palm lengths out, 0.30 at 0.3-0.4 and 0.42 at
    // 0.4-0.5, by then longer than the tip's last segment, so that the finger's bend can no
    // longer be told. Knuckles and the wrist stay within about 0.2 up to 0.5 out. So a joint in
    // the frame has the hand's presence score as its confidence, and outside it the confidence
    // falls linearly with the distance, to the classifier's threshold at kOutsideMarginPalms.
    // Classifying the cut photos (2064 crops) with margins from 0 to 1 palm length, 0.3 is
    // where the readings stop paying: 0.2 gave 1422 right and 71 wrong single fingers, 0.3
    // 1445 and 74, 0.4 1454 and 78, and wider margins no more right ones.
    static float jointConfidence(float presence, double outsidePalms) {
        if (!(outsidePalms > 0.0))
            return presence;
        const double trust =
            1.0 - (1.0 - kJointConfidenceThreshold) * outsidePalms / kOutsideMarginPalms;
        return float(std::clamp(trust, 0.0, double(presence)));
    }

    HandObservation observation(const std::array<PalmPoint, kJointCount>& frame, float presence,
                                const ImageView& image) const {
        HandObservation hand;
        hand.confidence = presence;
        hand.aspectRatio = double(image.width) / image.height;
        const auto& wrist = frame[int(JointName::Wrist)];
        const auto& knuckle = frame[int(JointName::MiddleMCP)];
        const double palm = std::hypot(knuckle.x - wrist.x, knuckle.y - wrist.y);
        for (int j = 0; j < kJointCount; ++j) {
            const double x = frame[j].x, y = frame[j].y;
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            const double outside = std::hypot(std::max({0.0, -x, x - image.width}),
                                              std::max({0.0, -y, y - image.height}));
            // Without a palm to measure by (a degenerate hand), nothing outside counts.
            const double outsidePalms = outside > 0.0 && !(palm > 0.0) ? HUGE_VAL : outside / palm;
            hand.setPoint(JointName(j), {{x / image.width, 1.0 - y / image.height},
                                         jointConfidence(presence, outsidePalms)});
        }
        return hand;
    }

    HandModels models_;
    HandTracker tracker_;
    PalmDecoder decoder_;
    cv::Mat halfway_, resized_, letterboxRgb_, cropBgra_, cropRgb_;
    cv::Rect letterbox_;
    int frameWidth_ = 0, frameHeight_ = 0;
    StageTimes times_;
};

MediaPipeHandPose::MediaPipeHandPose(Options options)
    : pipeline_(std::make_unique<Pipeline>(std::move(options))) {}

MediaPipeHandPose::~MediaPipeHandPose() = default;

HandPoseResult MediaPipeHandPose::detect(const ImageView& image, int maximumHandCount) {
    const auto start = Clock::now();
    const auto cpuStart = pipeline_->cpuTime();
    HandPoseResult hands = detectOrExplain(image, maximumHandCount);
    // A frame that could not be used breaks the track: the next one starts afresh.
    if (!hands)
        pipeline_->reset();
    if (hands)
        costs_.record(Clock::now() - start, pipeline_->cpuTime() - cpuStart, !hands->empty());
    return hands;
}

HandPoseResult MediaPipeHandPose::detectOrExplain(const ImageView& image, int maximumHandCount) {
    try {
        return pipeline_->detect(image, maximumHandCount);
    } catch (const cv::Exception& e) {
        return failure(HandPoseFault::PerformFailed,
                       std::string("Image processing failed: ") + e.what());
    } catch (const std::exception& e) {
        return failure(HandPoseFault::PerformFailed,
                       std::string("Hand-pose detection failed: ") + e.what());
    } catch (...) {
        return failure(HandPoseFault::PerformFailed, "Hand-pose detection failed");
    }
}

void MediaPipeHandPose::reset() {
    pipeline_->reset();
}

Result<void> MediaPipeHandPose::load() {
    try {
        return pipeline_->load();
    } catch (const std::exception& e) {
        return failure(std::string("Loading the hand models failed: ") + e.what());
    }
}

const MediaPipeHandPose::StageTimes& MediaPipeHandPose::lastStageTimes() const {
    return pipeline_->times();
}

} // namespace palmcue::handpose
