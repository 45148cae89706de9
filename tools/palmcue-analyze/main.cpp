// palmcue-analyze [--json] [--draw OUT.png] [--threads N] IMAGE|VIDEO...
// Runs hand-pose detection and the engine's finger classifier on each photo or video frame and
// prints what the app would see, with the time of each stage. --json prints one object per
// frame, including the 21 landmarks, for studying the classifier offline.
#include "engine/FingerClassifier.h"
#include "handpose/MediaPipeHandPose.h"

#include <cstdio>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

namespace {

using palmcue::handpose::MediaPipeHandPose;

struct Arguments {
    bool json = false;
    std::string draw;
    int threads = 1; // as the app runs; more threads finish a file sooner on an idle machine
    std::vector<std::string> inputs;
};

void usage() {
    std::fprintf(stderr,
                 "usage: palmcue-analyze [--json] [--draw OUT.png] [--threads N] IMAGE|VIDEO...\n");
}

bool parse(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            args.json = true;
        } else if (arg == "--draw" && i + 1 < argc) {
            args.draw = argv[++i];
        } else if (arg == "--threads" && i + 1 < argc) {
            try {
                args.threads = std::stoi(argv[++i]);
            } catch (const std::exception&) {
                return false;
            }
            if (args.threads < 1 || args.threads > 64)
                return false;
        } else if (arg == "-h" || arg == "--help" || (arg.size() > 1 && arg[0] == '-')) {
            return false;
        } else {
            args.inputs.push_back(arg);
        }
    }
    return !args.inputs.empty();
}

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

void drawHand(cv::Mat& bgr, const palmcue::HandObservation& hand) {
    auto pixel = [&](int j) {
        const auto point = hand.joints[j];
        return cv::Point2d(point->location.x * bgr.cols, (1.0 - point->location.y) * bgr.rows);
    };
    const int thickness = std::max(1, bgr.cols / 320);
    for (const auto& bone : kBones)
        if (hand.joints[bone[0]] && hand.joints[bone[1]])
            cv::line(bgr, pixel(bone[0]), pixel(bone[1]), {255, 255, 255}, thickness, cv::LINE_AA);
    for (int j = 0; j < palmcue::kJointCount; ++j)
        if (hand.joints[j])
            cv::circle(bgr, pixel(j), 2 * thickness + 1,
                       hand.joints[j]->confidence > palmcue::kJointConfidenceThreshold
                           ? cv::Scalar(0, 200, 0)
                           : cv::Scalar(0, 0, 255),
                       cv::FILLED, cv::LINE_AA);
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
        std::string error;
        if (!pose_.load(error)) {
            std::fprintf(stderr, "palmcue-analyze: %s\n", error.c_str());
            return false;
        }
        return true;
    }

    // False when the input could not be read or analysed.
    bool analyze(const std::string& input) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(input, error)) {
            std::fprintf(stderr, "palmcue-analyze: %s: no such file\n", input.c_str());
            return false;
        }
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
        while (video.read(picture)) {
            if (picture.channels() != 3)
                cv::cvtColor(picture, picture, cv::COLOR_GRAY2BGR);
            ok = analyzeFrame(input, frame++, picture, false) && ok;
        }
        if (frame == 0) {
            std::fprintf(stderr, "palmcue-analyze: %s: cannot read this image or video\n",
                         input.c_str());
            return false;
        }
        return ok;
    }

private:
    bool analyzeFrame(const std::string& input, int frame, cv::Mat& bgr, bool single) {
        cv::cvtColor(bgr, bgra_, cv::COLOR_BGR2BGRA);
        const palmcue::ImageView view{bgra_.data, bgra_.cols, bgra_.rows, int(bgra_.step[0])};
        const auto outcome = pose_.detect(view, 1);
        const auto times = pose_.lastStageTimes();
        if (outcome.status != palmcue::HandPoseOutcome::Status::Ok) {
            std::fprintf(stderr, "palmcue-analyze: %s frame %d: %s\n", input.c_str(), frame,
                         outcome.errorDescription.c_str());
            return false;
        }
        const bool found = !outcome.observations.empty();
        palmcue::FingerFlags flags{};
        std::optional<int> single_;
        if (found) {
            flags = palmcue::classifyFingers(outcome.observations.front());
            single_ = palmcue::getSingleRaised(flags);
        }
        const float confidence = found ? outcome.observations.front().confidence : 0.0f;
        if (args_.json)
            printJson(input, frame, outcome, flags, single_, times);
        else
            printText(input, frame, found, confidence, flags, single_, times);
        if (!args_.draw.empty()) {
            cv::Mat canvas = bgr.clone();
            if (found)
                drawHand(canvas, outcome.observations.front());
            const std::string path =
                drawPath(args_, input, frame, single && args_.inputs.size() == 1);
            if (!cv::imwrite(path, canvas)) {
                std::fprintf(stderr, "palmcue-analyze: cannot write %s\n", path.c_str());
                return false;
            }
        }
        return true;
    }

    void printText(const std::string& input, int frame, bool found, float confidence,
                   const palmcue::FingerFlags& flags, std::optional<int> single,
                   const MediaPipeHandPose::StageTimes& times) {
        std::string fingers;
        for (int i = 0; i < palmcue::kFingerCount; ++i)
            if (flags[i])
                fingers +=
                    std::string(fingers.empty() ? "" : ",") + std::string(palmcue::kFingerNames[i]);
        std::printf("%s [%d]: %s", input.c_str(), frame, found ? "hand" : "no hand");
        if (found)
            std::printf(" %.2f  raised: %s  single: %s", confidence,
                        fingers.empty() ? "none" : fingers.c_str(),
                        single ? std::string(palmcue::kFingerNames[*single]).c_str() : "-");
        std::printf("  | palm %.1f ms, landmark %.1f ms, pre/post %.1f ms\n", times.palm,
                    times.landmark, times.prePost);
    }

    void printJson(const std::string& input, int frame, const palmcue::HandPoseOutcome& outcome,
                   const palmcue::FingerFlags& flags, std::optional<int> single,
                   const MediaPipeHandPose::StageTimes& times) {
        const bool found = !outcome.observations.empty();
        std::string line =
            "{\"file\":" + jsonString(input) + ",\"frame\":" + std::to_string(frame) +
            ",\"hand\":" + (found ? "true" : "false") +
            ",\"confidence\":" + number(found ? outcome.observations.front().confidence : 0.0) +
            ",\"fingers\":[";
        for (int i = 0; i < palmcue::kFingerCount; ++i)
            line += std::string(i ? "," : "") + (flags[i] ? "true" : "false");
        line += "],\"single\":" +
                (single ? jsonString(std::string(palmcue::kFingerNames[*single])) : "null");
        line += ",\"ms\":{\"palm\":" + number(times.palm, 3) +
                ",\"landmark\":" + number(times.landmark, 3) +
                ",\"prePost\":" + number(times.prePost, 3) +
                ",\"total\":" + number(times.palm + times.landmark + times.prePost, 3) +
                "},\"landmarks\":[";
        if (found) {
            const auto& hand = outcome.observations.front();
            for (int j = 0; j < palmcue::kJointCount; ++j) {
                const auto point = hand.joints[j];
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
};

} // namespace

int main(int argc, char** argv) {
    // Our own messages say what failed; OpenCV's backend chatter would bury them.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    Arguments args;
    if (!parse(argc, argv, args)) {
        usage();
        return 2;
    }
    Analyzer analyzer(args);
    if (!analyzer.load())
        return 2;
    bool ok = true;
    for (const auto& input : args.inputs)
        ok = analyzer.analyze(input) && ok;
    return ok ? 0 : 1;
}
