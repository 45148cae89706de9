// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace palmcue {

// One line of the launch log.
struct LaunchLogEntry {
    Q_GADGET
    Q_PROPERTY(QString time MEMBER time CONSTANT)
    Q_PROPERTY(QString fingerName MEMBER fingerName CONSTANT)
    Q_PROPERTY(QString appName MEMBER appName CONSTANT)

public:
    QString time; // local time of day, as the locale writes hours, minutes and seconds
    QString fingerName;
    QString appName;
    std::uint64_t id = 0; // unique per detector: tells apart entries with equal texts

    bool operator==(const LaunchLogEntry&) const = default;
};

} // namespace palmcue
