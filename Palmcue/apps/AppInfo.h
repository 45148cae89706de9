// One installed application as the picker lists it.
#pragma once

#include <QHashFunctions>
#include <QString>
#include <cstddef>
#include <functional>

namespace palmcue::apps {

struct AppInfo {
    QString name; // display name, as the desktop entry gives it
    QString path; // full path of the .desktop file

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
