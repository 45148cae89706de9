// SPDX-License-Identifier: Apache-2.0
// palmcue-analyze [--json] [--draw OUT.png] [--threads N] [--every N] [--first K] IMAGE|VIDEO...
// Runs hand-pose detection and the engine's finger classifier on each photo or video frame and
// prints what the app would see, with the time of each stage: the raised fingers, the fingers
// the classifier could not judge (unknown: they rule out a single finger) and the single raised
// finger. --json prints one object per frame, including the 21 landmarks with their
// confidences, for studying the classifier offline. --draw draws the joints, with a grey
// border around the picture when some lie outside it. --every and --first pick a video's
// frames as the application's cadence does; the hand-pose service follows a hand from one
// analysed frame to the next within a video and starts afresh at each file.
#include "Arguments.h"
#include "engine/FrameVerdict.h"
#include "handpose/MediaPipeHandPose.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using palmcue::handpose::MediaPipeHandPose;

using palmcue::analyze::Arguments;

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string number(double value, int decimals = 4) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// Bones of the hand, for drawing.
constexpr int kBones[][2] = {{0, 1},   {1, 2},   {2, 3},   {3, 4},   {0, 5},   {5, 6},   {6, 7},
                             {7, 8},   {5, 9},   {9, 10},  {10, 11}, {11, 12}, {9, 13},  {13, 14},
                             {14, 15}, {15, 16}, {13, 17}, {0, 17},  {17, 18}, {18, 19}, {19, 20}};

// The picture with the hand drawn over it: green joints are usable, red ones are not (too far
// outside the picture). Joints outside the picture land on a grey border as wide as needed.
cv::Mat drawHand(const cv::Mat& bgr, const palmcue::HandObservation& hand) {
    double left = 0, top = 0, right = 0, bottom = 0;
    for (const auto& point : hand.joints) {
        if (!point)
            continue;
        left = std::max(left, -point->location.x);
        right = std::max(right, point->location.x - 1.0);
        top = std::max(top, point->location.y - 1.0);
        bottom = std::max(bottom, -point->location.y);
    }
    // A border of at most half the picture: a joint further out is off the canvas.
    auto border = [](double share, int size) {
        return int(std::ceil(std::min(share, 0.5) * size)) + (share > 0 ? 8 : 0);
    };
    const int x0 = border(left, bgr.cols), y0 = border(top, bgr.rows);
    cv::Mat canvas;
    cv::copyMakeBorder(bgr, canvas, y0, border(bottom, bgr.rows), x0, border(right, bgr.cols),
                       cv::BORDER_CONSTANT, cv::Scalar(128, 128, 128));
    auto pixel = [&](int j) {
        const auto point = hand.joints[j];
        return cv::Point2d(x0 + point->location.x * bgr.cols,
                           y0 + (1.0 - point->location.y) * bgr.rows);
    };
    const int thickness = std::max(1, bgr.cols / 320);
    for (const auto& bone : kBones)
        if (hand.joints[bone[0]] && hand.joints[bone[1]])
            cv::line(canvas, pixel(bone[0]), pixel(bone[1]), {255, 255, 255}, thickness,
                     cv::LINE_AA);
    for (int j = 0; j < palmcue::kJointCount; ++j)
        if (hand.joints[j])
            cv::circle(canvas, pixel(j), 2 * thickness + 1,
                       hand.joints[j]->confidence > palmcue::kJointConfidenceThreshold
                           ? cv::Scalar(0, 200, 0)
                           : cv::Scalar(0, 0, 255),
                       cv::FILLED, cv::LINE_AA);
    return canvas;
}

// The names of the fingers in `state`, joined with ",", or "none".
std::string fingerNames(const palmcue::FingerReading& reading, palmcue::FingerState state) {
    std::string names;
    for (int i = 0; i < palmcue::kFingerCount; ++i)
        if (reading.states[i] == state)
            names += (names.empty() ? "" : ",") + std::string(palmcue::kFingerNames[i]);
    return names.empty() ? "none" : names;
}

const char* stateText(palmcue::FingerState state) {
    switch (state) {
    case palmcue::FingerState::Raised:
        return "raised";
    case palmcue::FingerState::Folded:
        return "folded";
    case palmcue::FingerState::Extended:
        return "extended";
    case palmcue::FingerState::Unknown:
        break;
    }
    return "unknown";
}

// The straight fingers that did not count as raised, each with the reason, so that a person
// checking their pose sees it: e.g. "Index pointing down". Empty when there are none; a bent
// finger needs no explaining.
std::string straightNotRaised(const palmcue::FingerReading& reading) {
    std::string text;
    for (int i = 0; i < palmcue::kFingerCount; ++i) {
        const palmcue::NotRaised why = reading.why[i];
        if (why == palmcue::NotRaised::No || why == palmcue::NotRaised::Bent)
            continue;
        text += (text.empty() ? "" : ", ") + std::string(palmcue::kFingerNames[i]) + " " +
                std::string(palmcue::notRaisedText(why));
    }
    return text;
}

// Why pictures cannot be written to --draw's path, found before any work is done; empty when
// they can. Names made from it for several inputs differ only in the file name.
std::string drawPathFault(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "is a folder; give a file name such as out.png";
    if (!cv::haveImageWriter(path))
        return "cannot write pictures of this type; use a name ending in .png or .jpg";
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string folder = parent.empty() ? "." : parent.string();
    if (!std::filesystem::is_directory(folder, error))
        return "there is no folder " + folder;
    if (::access(folder.c_str(), W_OK) != 0)
        return "cannot write into " + folder + " (" + std::strerror(errno) + ")";
    return {};
}

std::string drawPath(const Arguments& args, const std::string& input, int frame, bool single) {
    if (single)
        return args.draw;
    const std::filesystem::path out(args.draw);
    const std::string stem = std::filesystem::path(input).stem().string();
    return (out.parent_path() / (out.stem().string() + "_" + stem + "_" + std::to_string(frame) +
                                 out.extension().string()))
        .string();
}

class Analyzer {
public:
    explicit Analyzer(const Arguments& args)
        : args_(args),
          pose_(MediaPipeHandPose::Options{MediaPipeHandPose::defaultModelDir(), args.threads}) {}

    bool load() {
        const palmcue::Result<void> loaded = pose_.load();
        if (!loaded)
            std::fprintf(stderr, "palmcue-analyze: %s\n", loaded.error().c_str());
        return loaded.ok();
    }

    // False when the input could not be read or analysed.
    bool analyze(const std::string& input) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(input, error)) {
            std::fprintf(stderr, "palmcue-analyze: %s: no such file\n", input.c_str());
            return false;
        }
        // No track from one file into the next: each file is a new session.
        pose_.reset();
        cv::Mat picture = cv::imread(input, cv::IMREAD_COLOR);
        if (!picture.empty())
            return analyzeFrame(input, 0, picture, true);
        cv::VideoCapture video(input);
        if (!video.isOpened()) {
            std::fprintf(stderr, "palmcue-analyze: %s: cannot read this image or video\n",
                         input.c_str());
            return false;
        }
        int frame = 0;
        bool ok = true;
        // Frames left out are only grabbed: decoded, never converted.
        for (; video.grab(); ++frame) {
            if (frame % args_.every != args_.first)
                continue;
            if (!video.retrieve(picture) || picture.empty()) {
                std::fprintf(stderr, "palmcue-analyze: %s frame %d: cannot be decoded\n",
                             input.c_str(), frame);
                pose_.reset(); // as the application does after a picture it cannot use
                ok = false;
                continue;
            }
            if (picture.channels() != 3)
                cv::cvtColor(picture, picture, cv::COLOR_GRAY2BGR);
            ok = analyzeFrame(input, frame, picture, false) && ok;
        }
        if (frame == 0) {
            std::fprintf(stderr, "palmcue-analyze: %s: cannot read this image or video\n",
                         input.c_str());
            return false;
        }
        if (frame <= args_.first) {
            std::fprintf(stderr, "palmcue-analyze: %s: has %d frames, none of them analysed\n",
                         input.c_str(), frame);
            return false;
        }
        return ok;
    }

    // True once a --draw picture could not be written.
    bool outputFailed() const { return outputFailed_; }

private:
    bool analyzeFrame(const std::string& input, int frame, cv::Mat& bgr, bool single) {
        cv::cvtColor(bgr, bgra_, cv::COLOR_BGR2BGRA);
        const palmcue::ImageView view{bgra_.data, bgra_.cols, bgra_.rows, int(bgra_.step[0])};
        const palmcue::FrameVerdictResult verdict = palmcue::judgeFrame(pose_, view);
        const auto times = pose_.lastStageTimes();
        if (!verdict) {
            std::fprintf(stderr, "palmcue-analyze: %s frame %d: %s\n", input.c_str(), frame,
                         verdict.error().c_str());
            return false;
        }
        if (args_.json)
            printJson(input, frame, *verdict, times);
        else
            printText(input, frame, *verdict, times);
        if (!args_.draw.empty()) {
            const cv::Mat canvas = verdict->hand ? drawHand(bgr, *verdict->hand) : bgr;
            const std::string path =
                drawPath(args_, input, frame, single && args_.inputs.size() == 1);
            if (!write(path, canvas))
                return false;
        }
        return true;
    }

    // A picture that cannot be written ends the run: the rest would fail alike.
    bool write(const std::string& path, const cv::Mat& canvas) {
        std::string reason;
        try {
            if (cv::imwrite(path, canvas))
                return true;
            reason = std::strerror(errno);
        } catch (const cv::Exception& e) {
            reason = e.err;
        }
        std::fprintf(stderr, "palmcue-analyze: cannot write %s: %s\n", path.c_str(),
                     reason.c_str());
        outputFailed_ = true;
        return false;
    }

    void printText(const std::string& input, int frame, const palmcue::FrameVerdict& verdict,
                   const MediaPipeHandPose::StageTimes& times) {
        const palmcue::FingerReading& reading = verdict.reading;
        const std::optional<int> single = verdict.single;
        std::printf("%s [%d]: %s", input.c_str(), frame, verdict.hand ? "hand" : "no hand");
        if (verdict.hand) {
            std::printf(" %.2f  raised: %s", verdict.hand->confidence,
                        fingerNames(reading, palmcue::FingerState::Raised).c_str());
            if (reading.anyUnknown())
                std::printf("  unknown: %s",
                            fingerNames(reading, palmcue::FingerState::Unknown).c_str());
            if (const std::string why = straightNotRaised(reading); !why.empty())
                std::printf("  not raised: %s", why.c_str());
            std::printf("  single: %s",
                        single ? std::string(palmcue::kFingerNames[*single]).c_str() : "-");
        }
        if (times.palmRan)
            std::printf("  | palm %.1f ms,", times.palm);
        else
            std::printf("  | followed,");
        std::printf(" landmark %.1f ms, pre/post %.1f ms\n", times.landmark, times.prePost);
    }

    void printJson(const std::string& input, int frame, const palmcue::FrameVerdict& verdict,
                   const MediaPipeHandPose::StageTimes& times) {
        const auto& hand = verdict.hand;
        std::string line =
            "{\"file\":" + jsonString(input) + ",\"frame\":" + std::to_string(frame) +
            ",\"hand\":" + (hand ? "true" : "false") +
            ",\"palmRan\":" + (times.palmRan ? "true" : "false") +
            ",\"confidence\":" + number(hand ? hand->confidence : 0.0) + ",\"fingers\":[";
        for (int i = 0; i < palmcue::kFingerCount; ++i)
            line += std::string(i ? "," : "") + (verdict.flags[i] ? "true" : "false");
        line += "],\"states\":[";
        for (int i = 0; i < palmcue::kFingerCount; ++i)
            line += std::string(i ? "," : "") + "\"" + stateText(verdict.reading.states[i]) + "\"";
        line += "],\"why\":[";
        for (int i = 0; i < palmcue::kFingerCount; ++i) {
            const std::string_view why = palmcue::notRaisedText(verdict.reading.why[i]);
            line +=
                std::string(i ? "," : "") + (why.empty() ? "null" : jsonString(std::string(why)));
        }
        line += "],\"single\":" +
                (verdict.single ? jsonString(std::string(palmcue::kFingerNames[*verdict.single]))
                                : "null");
        line += ",\"ms\":{\"palm\":" + number(times.palm, 3) +
                ",\"landmark\":" + number(times.landmark, 3) +
                ",\"prePost\":" + number(times.prePost, 3) +
                ",\"total\":" + number(times.palm + times.landmark + times.prePost, 3) +
                "},\"landmarks\":[";
        if (hand) {
            for (int j = 0; j < palmcue::kJointCount; ++j) {
                const auto point = hand->joints[j];
                line += j ? "," : "";
                line += point ? "[" + number(point->location.x, 5) + "," +
                                    number(point->location.y, 5) + "," +
                                    number(point->confidence, 4) + "]"
                              : "null";
            }
        }
        line += "]}";
        std::printf("%s\n", line.c_str());
    }

    const Arguments& args_;
    MediaPipeHandPose pose_;
    cv::Mat bgra_;
    bool outputFailed_ = false;
};

} // namespace

int main(int argc, char** argv) {
    // Our own messages say what failed; OpenCV's backend chatter would bury them.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    Arguments args;
    std::string fault;
    if (!palmcue::analyze::parseArguments(argc, argv, args, fault)) {
        if (!fault.empty())
            std::fprintf(stderr, "palmcue-analyze: %s\n", fault.c_str());
        std::fputs(palmcue::analyze::usageText().c_str(), stderr);
        return 2;
    }
    if (args.help) {
        std::fputs(palmcue::analyze::helpText().c_str(), stdout);
        return 0;
    }
    if (!args.draw.empty()) {
        if (const std::string fault = drawPathFault(args.draw); !fault.empty()) {
            std::fprintf(stderr, "palmcue-analyze: --draw %s: %s\n", args.draw.c_str(),
                         fault.c_str());
            return 2;
        }
    }
    Analyzer analyzer(args);
    if (!analyzer.load())
        return 2;
    bool ok = true;
    for (const auto& input : args.inputs) {
        ok = analyzer.analyze(input) && ok;
        if (analyzer.outputFailed())
            return 2;
    }
    return ok ? 0 : 1;
}
