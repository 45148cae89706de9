// SPDX-License-Identifier: Apache-2.0
#include "apps/SystemClock.h"

namespace palmcue::apps {

std::chrono::steady_clock::time_point SystemClock::now() const {
    return std::chrono::steady_clock::now();
}

std::string SystemClock::logTimeText() const {
    return format_.format(std::chrono::system_clock::now());
}

} // namespace palmcue::apps
