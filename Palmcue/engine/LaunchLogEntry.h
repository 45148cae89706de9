#pragma once

#include <QString>
#include <cstdint>

namespace palmcue {

// One line of the launch log.
struct LaunchLogEntry {
    QString time; // local time of day, as the locale writes hours, minutes and seconds
    QString fingerName;
    QString appName;
    std::uint64_t id = 0; // unique per detector: tells apart entries with equal texts

    bool operator==(const LaunchLogEntry&) const = default;
};

} // namespace palmcue
