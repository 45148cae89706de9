#include "handpose/MediaPipeHandPose.h"

#include "handpose/HandRegion.h"
#include "handpose/PalmDecoder.h"
#include "handpose/TfliteReader.h"
#include "handpose/ThreadPool.h"
#include "handpose/XnnpackNetwork.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <malloc.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#ifndef PALMCUE_MODEL_DIR_BUILD
#define PALMCUE_MODEL_DIR_BUILD "models"
#endif

namespace palmcue::handpose {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPalmSize = PalmDecoder::kInputSize;
constexpr int kLandmarkSize = 224;
constexpr int kMaxSide = 16384;
constexpr std::int64_t kMaxPixels = 64ll << 20;
constexpr int kMaxBytesPerRow = 1 << 20;

// A joint further outside the frame than this (fraction of the frame) gets no confidence.
constexpr double kOutsideMargin = 0.05;

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
    explicit Pipeline(Options options) : options_(std::move(options)) {}

    bool load(std::string& error) {
        if (palm_ && landmark_)
            return true;
        if (!loadError_.empty()) {
            error = loadError_;
            return false;
        }
        pool_ = std::make_unique<ThreadPool>(std::max(1, options_.threads));
        palm_ = buildNetwork(kPalmModelFile, 1, 2);
        if (palm_)
            landmark_ = buildNetwork(kLandmarkModelFile, 1, 4);
        if (!palm_ || !landmark_) {
            palm_.reset();
            landmark_.reset();
            error = loadError_;
            return false;
        }
        // The landmark model runs after the palm model, never beside it.
        if (!checkShapes() || !palm_->shareIntermediatesWith(*landmark_, loadError_)) {
            palm_.reset();
            landmark_.reset();
            error = loadError_;
            return false;
        }
        cropBgra_.create(kLandmarkSize, kLandmarkSize, CV_8UC4);
        cropRgb_.create(kLandmarkSize, kLandmarkSize, CV_8UC3);
        letterboxRgb_ = cv::Mat::zeros(kPalmSize, kPalmSize, CV_8UC3);
        // The model files, the widened weights and XNNPACK's build scratch are free now, but
        // malloc keeps freed pages of a thread's arena resident: give them back.
        malloc_trim(0);
        return true;
    }

    HandPoseOutcome detect(const ImageView& image, int maximumHandCount) {
        times_ = {};
        const auto start = Clock::now();
        if (const std::string fault = frameFault(image); !fault.empty())
            return HandPoseOutcome::performError("Unusable frame: " + fault);
        std::string error;
        if (!load(error))
            return HandPoseOutcome::performError(error);
        if (maximumHandCount < 1)
            return {};

        const cv::Mat frame(image.height, image.width, CV_8UC4, const_cast<uint8_t*>(image.data),
                            std::size_t(image.bytesPerRow));
        prepareLetterbox(frame);

        if (!run(*palm_, times_.palm, error))
            return HandPoseOutcome::requestError(error);

        const auto& palms = palm_->output(0).size() > palm_->output(1).size()
                                ? decoder_.decode(palm_->output(0), palm_->output(1))
                                : decoder_.decode(palm_->output(1), palm_->output(0));
        HandPoseOutcome outcome;
        if (!palms.empty()) {
            const HandRegion region = HandRegion::fromPalm(toFramePixels(palms.front()));
            prepareCrop(frame, region);
            if (!run(*landmark_, times_.landmark, error))
                return HandPoseOutcome::requestError(error);
            const float presence = landmark_->output(1)[0];
            if (presence >= kPresenceThreshold)
                outcome.observations.push_back(observation(region, presence, image));
        }
        times_.prePost = std::max(0.0, msSince(start) - times_.palm - times_.landmark);
        return outcome;
    }

    const StageTimes& times() const { return times_; }

    // CPU time of every thread that works on a frame: the caller's and the pool's.
    std::chrono::nanoseconds cpuTime() const {
        return threadCpuTime() + (pool_ ? pool_->workerCpuTime() : std::chrono::nanoseconds(0));
    }

private:
    static bool run(XnnpackNetwork& network, double& ms, std::string& error) {
        const auto start = Clock::now();
        if (!network.run(error))
            return false;
        ms = msSince(start);
        return true;
    }

    std::unique_ptr<XnnpackNetwork> buildNetwork(const char* file, std::size_t inputs,
                                                 std::size_t outputs) {
        const std::string path = (std::filesystem::path(options_.modelDir) / file).string();
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            loadError_ = path + ": the hand model is missing (run scripts/fetch-models.sh)";
            return nullptr;
        }
        auto graph = TfliteReader::readFile(path, loadError_);
        if (!graph)
            return nullptr;
        if (graph->inputs.size() != inputs || graph->outputs.size() != outputs) {
            loadError_ = path + ": expected " + std::to_string(inputs) + " input(s) and " +
                         std::to_string(outputs) + " outputs, found " +
                         std::to_string(graph->inputs.size()) + " and " +
                         std::to_string(graph->outputs.size());
            return nullptr;
        }
        return XnnpackNetwork::create(std::move(*graph), pool_->handle(), loadError_);
    }

    bool checkShapes() {
        auto shapeIs = [](const XnnpackNetwork& net, int tensor, std::vector<int> shape) {
            return net.graph().tensors[tensor].shape == shape;
        };
        const auto& pg = palm_->graph();
        const auto& lg = landmark_->graph();
        const bool palmOk = shapeIs(*palm_, pg.inputs[0], {1, kPalmSize, kPalmSize, 3}) &&
                            ((shapeIs(*palm_, pg.outputs[0], {1, 2016, 18}) &&
                              shapeIs(*palm_, pg.outputs[1], {1, 2016, 1})) ||
                             (shapeIs(*palm_, pg.outputs[1], {1, 2016, 18}) &&
                              shapeIs(*palm_, pg.outputs[0], {1, 2016, 1})));
        if (!palmOk) {
            loadError_ = pg.source + ": not the palm-detection model (unexpected input or "
                                     "output shapes)";
            return false;
        }
        const bool landmarkOk =
            shapeIs(*landmark_, lg.inputs[0], {1, kLandmarkSize, kLandmarkSize, 3}) &&
            shapeIs(*landmark_, lg.outputs[0], {1, 63}) &&
            shapeIs(*landmark_, lg.outputs[1], {1, 1});
        if (!landmarkOk) {
            loadError_ = lg.source + ": not the hand-landmark model (unexpected input or "
                                     "output shapes)";
            return false;
        }
        return true;
    }

    // The frame scaled to fit 192×192, centred on black, as RGB in [0, 1].
    void prepareLetterbox(const cv::Mat& frame) {
        const double scale = double(kPalmSize) / std::max(frame.cols, frame.rows);
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
        cv::Mat input(kPalmSize, kPalmSize, CV_32FC3, palm_->input().data());
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
        cv::Mat input(kLandmarkSize, kLandmarkSize, CV_32FC3, landmark_->input().data());
        cropRgb_.convertTo(input, CV_32F, 1.0 / 255.0);
    }

    // The landmark model gives no per-joint confidence. Each joint gets the hand's presence
    // score, lowered linearly to zero as the joint lies outside the frame by up to
    // kOutsideMargin of its size: such a joint is the model's guess, not something it saw.
    HandObservation observation(const HandRegion& region, float presence,
                                const ImageView& image) const {
        HandObservation hand;
        hand.confidence = presence;
        hand.aspectRatio = double(image.width) / image.height;
        const auto landmarks = landmark_->output(0);
        for (int j = 0; j < kJointCount; ++j) {
            const PalmPoint p =
                region.toFrame(landmarks[3 * j], landmarks[3 * j + 1], kLandmarkSize);
            const double x = p.x / image.width;
            const double y = p.y / image.height;
            const double outside = std::max({0.0, -x, x - 1.0, -y, y - 1.0});
            const double factor = std::clamp(1.0 - outside / kOutsideMargin, 0.0, 1.0);
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            hand.setPoint(JointName(j), {{x, 1.0 - y}, float(presence * factor)});
        }
        return hand;
    }

    Options options_;
    std::string loadError_;
    std::unique_ptr<ThreadPool> pool_;
    std::unique_ptr<XnnpackNetwork> palm_;
    std::unique_ptr<XnnpackNetwork> landmark_;
    PalmDecoder decoder_;
    cv::Mat halfway_, resized_, letterboxRgb_, cropBgra_, cropRgb_;
    cv::Rect letterbox_;
    int frameWidth_ = 0, frameHeight_ = 0;
    StageTimes times_;
};

MediaPipeHandPose::MediaPipeHandPose(Options options)
    : pipeline_(std::make_unique<Pipeline>(std::move(options))) {}

MediaPipeHandPose::~MediaPipeHandPose() = default;

HandPoseOutcome MediaPipeHandPose::detect(const ImageView& image, int maximumHandCount) {
    const auto start = Clock::now();
    const auto cpuStart = pipeline_->cpuTime();
    HandPoseOutcome outcome = detectOrExplain(image, maximumHandCount);
    if (outcome.status == HandPoseOutcome::Status::Ok)
        costs_.record(Clock::now() - start, pipeline_->cpuTime() - cpuStart,
                      !outcome.observations.empty());
    return outcome;
}

HandPoseOutcome MediaPipeHandPose::detectOrExplain(const ImageView& image, int maximumHandCount) {
    try {
        return pipeline_->detect(image, maximumHandCount);
    } catch (const cv::Exception& e) {
        return HandPoseOutcome::performError(std::string("Image processing failed: ") + e.what());
    } catch (const std::exception& e) {
        return HandPoseOutcome::performError(std::string("Hand-pose detection failed: ") +
                                             e.what());
    } catch (...) {
        return HandPoseOutcome::performError("Hand-pose detection failed");
    }
}

bool MediaPipeHandPose::load(std::string& error) {
    try {
        return pipeline_->load(error);
    } catch (const std::exception& e) {
        error = std::string("Loading the hand models failed: ") + e.what();
        return false;
    }
}

const MediaPipeHandPose::StageTimes& MediaPipeHandPose::lastStageTimes() const {
    return pipeline_->times();
}

} // namespace palmcue::handpose
