// The list of installed applications: a walk over the application folders, each .desktop
// file named by a rule from the platform layer, sorted by name. Kept free of any desktop
// library so that it runs on temporary folders in tests.
#pragma once

#include "apps/AppInfo.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace palmcue::apps {

// The display name for a .desktop file (full path), or nothing when the entry is refused or
// not meant to be shown.
using NamingRule = std::function<std::optional<QString>(const std::string& desktopFilePath)>;

// Folders in the given order, each listed one level deep in the order the file system lists
// it; only names ending in ".desktop" (case-sensitive); folders that cannot be read are
// skipped. The result is sorted stably by sortKey(), so equal names keep folder order and
// the same application found in two folders is listed twice.
std::vector<AppInfo> listApps(const std::vector<std::string>& folders, const NamingRule& nameOf);

// The sort key of a display name: the Unicode default lower case (not the user's locale),
// composed (NFC), as UTF-8 so that comparing bytes compares code points.
std::string sortKey(const QString& name);

// A name made from a .desktop file name: only the trailing ".desktop" is removed.
QString nameFromFileName(const QString& fileName);

} // namespace palmcue::apps
