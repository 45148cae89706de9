// SPDX-License-Identifier: Apache-2.0
// The naming rule for the catalogue on GIO, and the catalogue the app uses.
#pragma once

#include "apps/AppCatalogue.h"

#include <QString>
#include <string>
#include <vector>

namespace palmcue::desktop {

// GIO's reading of a desktop entry: Hidden marks it deleted; GIO refuses it (broken, not an
// application, program not installed) as unusable; NoDisplay or not for this desktop keeps it
// out of the list; otherwise it is listed under its Name as GIO gives it (localised), or
// named after its file when it has no Name.
apps::EntryVerdict gioVerdict(const std::string& desktopFilePath, const std::string& contents);

// The one catalogue of the XDG application folders, judged by GIO. Main thread only: the
// picker's list and every launch's fresh lookup share its memory of unchanged files.
apps::AppCatalogue& desktopCatalogue();

// The applications in the XDG application folders, named by GIO, sorted by name.
std::vector<apps::AppInfo> installedApps();

} // namespace palmcue::desktop
