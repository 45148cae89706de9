// SPDX-License-Identifier: Apache-2.0
// Where desktop entries live, after the XDG base directory rules.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace palmcue::apps {

// Reads one environment variable; nothing when unset.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The XDG data folders in precedence order: the user's $XDG_DATA_HOME (default
// ~/.local/share), then $XDG_DATA_DIRS in order (default /usr/local/share:/usr/share).
// Relative entries are ignored, as the XDG rules ask, and a folder named twice is listed
// once, where it ranks highest.
std::vector<std::string> dataFolders(const EnvironmentLookup& lookup);

// `applications` under each of dataFolders(), in the same precedence order: the user's own
// first, so that the user's copy of an entry replaces (or, marked Hidden, deletes) the
// system's.
std::vector<std::string> applicationFolders(const EnvironmentLookup& lookup);

// The same, from this process's environment.
std::vector<std::string> dataFolders();
std::vector<std::string> applicationFolders();

} // namespace palmcue::apps
