// SPDX-License-Identifier: Apache-2.0
// One installed application as the picker lists it.
#pragma once

#include <QHashFunctions>
#include <QString>
#include <cstddef>
#include <functional>
#include <string>

namespace palmcue::apps {

struct AppInfo {
    QString name; // display name, as the desktop entry gives it
    QString path; // full path of the .desktop file
    // The same path as the file system spells it, set by the catalogue: a file name that is
    // not valid UTF-8 does not survive the trip through `path` (its bad bytes become U+FFFD).
    std::string nativePath = {};

    // The path to open: nativePath, else `path` in the file-name encoding.
    std::string location() const;

    // Names and paths may reach us composed or decomposed (NFC/NFD file systems, hand-edited
    // entries); both forms mean the same application.
    friend bool operator==(const AppInfo& a, const AppInfo& b);
};

size_t qHash(const AppInfo& app, size_t seed = 0) noexcept;

} // namespace palmcue::apps

template <> struct std::hash<palmcue::apps::AppInfo> {
    std::size_t operator()(const palmcue::apps::AppInfo& app) const noexcept {
        return palmcue::apps::qHash(app);
    }
};
