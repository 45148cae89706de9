// The naming rule for the catalogue on GIO, and the catalogue the app uses.
#pragma once

#include "apps/AppInfo.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace palmcue::desktop {

// The entry's Name as GIO gives it (localised), or nothing when GIO refuses the entry
// (broken file, program not installed, Hidden) or it is not meant to be shown (NoDisplay,
// not for this desktop). An entry without a Name is named after its file.
std::optional<QString> gioDisplayName(const std::string& desktopFilePath);

// The applications in the XDG application folders, named by GIO, sorted by name.
std::vector<apps::AppInfo> installedApps();

} // namespace palmcue::desktop
