// SPDX-License-Identifier: Apache-2.0
// A launch as the launcher tests check it: opened, or which failure and why.
#pragma once

#include "engine/Services.h"

#include <string>

namespace palmcue::test {

enum class LaunchOutcome { Opened, NotFound, Failed };

struct LaunchAttempt {
    LaunchOutcome result = LaunchOutcome::Opened;
    std::string reason; // empty when opened
};

inline LaunchAttempt launchAttempt(const Result<void, ApplicationLauncher::Fault>& opened) {
    if (opened)
        return {};
    return {opened.fault() == ApplicationLauncher::Fault::NotFound ? LaunchOutcome::NotFound
                                                                   : LaunchOutcome::Failed,
            opened.error()};
}

} // namespace palmcue::test
