// SPDX-License-Identifier: Apache-2.0
// The real clock: steady time for holds and cooldowns, local wall time for the log.
#pragma once

#include "apps/LogTimeFormatter.h"
#include "engine/Services.h"

namespace palmcue::apps {

class SystemClock : public Clock {
public:
    // Locale and time zone are the process defaults at construction.
    SystemClock() = default;

    std::chrono::steady_clock::time_point now() const override;
    std::string logTimeText() const override;

private:
    LogTimeFormatter format_;
};

} // namespace palmcue::apps
