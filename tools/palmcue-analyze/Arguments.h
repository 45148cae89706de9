// SPDX-License-Identifier: Apache-2.0
// palmcue-analyze's command line: what to analyse and how, or why the line cannot be used.
#pragma once

#include <string>
#include <vector>

namespace palmcue::analyze {

struct Arguments {
    bool json = false;
    bool help = false;
    std::string draw;
    int threads = 1; // as the app runs; more threads finish a file sooner on an idle machine
    // A video's analysed frames: every `every`-th, starting at frame `first` (counted from 0).
    // The application analyses one frame in three, frames 2, 5, 8, ...
    int every = 1;
    int first = 0;
    std::vector<std::string> inputs;
};

// The arguments, or the reason they cannot be used in `fault` (empty when only the usage
// applies, as for no file at all).
bool parseArguments(int argc, char** argv, Arguments& args, std::string& fault);

// The one-line usage, and the options one a line for --help.
std::string usageText();
std::string helpText();

} // namespace palmcue::analyze
