// Where desktop entries live, after the XDG base directory rules.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace palmcue::apps {

// Reads one environment variable; nothing when unset.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The XDG data folders: $XDG_DATA_DIRS in order (default /usr/local/share:/usr/share), then
// the user's $XDG_DATA_HOME (default ~/.local/share). Relative entries are ignored, as the
// XDG rules ask, and a folder named twice is listed once.
std::vector<std::string> dataFolders(const EnvironmentLookup& lookup);

// The system-wide folders first (`applications` under each of $XDG_DATA_DIRS, in order,
// default /usr/local/share:/usr/share), then the user's own ($XDG_DATA_HOME/applications,
// default ~/.local/share/applications): `applications` under each of dataFolders().
std::vector<std::string> applicationFolders(const EnvironmentLookup& lookup);

// The same, from this process's environment.
std::vector<std::string> dataFolders();
std::vector<std::string> applicationFolders();

} // namespace palmcue::apps
