// A clock that moves only when the test advances it; the log time is its offset as hh:mm:ss.
#pragma once

#include "engine/Services.h"

#include <cstdio>

namespace palmcue::test {

class FakeClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return base + offset; }
    std::string logTimeText() const override {
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(offset).count();
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(s / 3600 % 24),
                      static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
        return text;
    }
    void advance(double seconds) {
        offset += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    }

    std::chrono::steady_clock::time_point base{std::chrono::hours(10)};
    std::chrono::steady_clock::duration offset{};
};

} // namespace palmcue::test
