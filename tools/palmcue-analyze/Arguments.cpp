// SPDX-License-Identifier: Apache-2.0
#include "Arguments.h"

#include <charconv>

namespace palmcue::analyze {

namespace {

// The whole of `text` as a number from `low` to `high`, or false.
bool wholeNumber(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

// A numbered option's value, or the reason it is refused.
bool numberOption(const std::string& option, const char* value, int low, int high, int& out,
                  std::string& fault) {
    if (value && wholeNumber(value, low, high, out))
        return true;
    fault = option + " takes a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + (value ? ", not \"" + std::string(value) + "\"" : "");
    return false;
}

} // namespace

bool parseArguments(int argc, char** argv, Arguments& args, std::string& fault) {
    constexpr int kMostFrames = 1'000'000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == "--json") {
            args.json = true;
        } else if (arg == "-h" || arg == "--help") {
            args.help = true;
        } else if (arg == "--draw") {
            if (value)
                args.draw = value;
            else
                fault = "--draw needs a file name, such as out.png";
            ok = value != nullptr;
            ++i;
        } else if (arg == "--threads") {
            ok = numberOption(arg, value, 1, 64, args.threads, fault);
            ++i;
        } else if (arg == "--every") {
            ok = numberOption(arg, value, 1, kMostFrames, args.every, fault);
            ++i;
        } else if (arg == "--first") {
            ok = numberOption(arg, value, 0, kMostFrames, args.first, fault);
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            fault = "unknown option " + arg;
            ok = false;
        } else {
            args.inputs.push_back(arg);
        }
        if (!ok)
            return false;
    }
    if (args.first >= args.every) {
        fault = "--first " + std::to_string(args.first) + " must be below --every " +
                std::to_string(args.every) + " (frames first, first + every, ... from 0)";
        return false;
    }
    return args.help || !args.inputs.empty();
}

std::string usageText() {
    return "usage: palmcue-analyze [--json] [--draw OUT.png] [--threads N] [--every N] "
           "[--first K] IMAGE|VIDEO...\n";
}

std::string helpText() {
    return usageText() +
           "Shows what Palm&Cue sees in each photo and video frame.\n"
           "  --json          one JSON object per frame, with the 21 landmarks\n"
           "  --draw OUT.png  write each picture with the joints drawn\n"
           "  --threads N     run the models on N threads, 1 to 64 (default 1)\n"
           "  --every N       analyse one video frame in N (default 1; the application: 3)\n"
           "  --first K       the first analysed frame, from 0, below N (default 0; the\n"
           "                  application: 2)\n"
           "Each file starts afresh; within a video a hand is followed from one analysed frame\n"
           "to the next, as the application does.\n";
}

} // namespace palmcue::analyze
