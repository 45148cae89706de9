// SPDX-License-Identifier: Apache-2.0
#include "apps/ApplicationFolders.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace palmcue::apps {

namespace {

std::string withoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool isAbsolute(const std::string& folder) {
    return folder.starts_with('/');
}

void addFolder(std::string folder, std::vector<std::string>& folders) {
    if (!isAbsolute(folder))
        return;
    folder = withoutTrailingSlashes(std::move(folder));
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(std::move(folder));
}

// An unset variable, an empty one and a relative path all mean "use the default".
std::optional<std::string> absolutePath(const EnvironmentLookup& lookup, const char* name) {
    std::optional<std::string> value = lookup(name);
    if (!value || !isAbsolute(*value))
        return std::nullopt;
    return value;
}

std::optional<std::string> processEnvironment(const char* name) {
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

} // namespace

std::vector<std::string> dataFolders(const EnvironmentLookup& lookup) {
    std::vector<std::string> folders;

    if (std::optional<std::string> dataHome = absolutePath(lookup, "XDG_DATA_HOME")) {
        addFolder(std::move(*dataHome), folders);
    } else if (std::optional<std::string> home = absolutePath(lookup, "HOME")) {
        const std::string base = withoutTrailingSlashes(std::move(*home));
        addFolder(base == "/" ? std::string("/.local/share") : base + "/.local/share", folders);
    }

    std::string dataDirs = lookup("XDG_DATA_DIRS").value_or("");
    if (dataDirs.empty())
        dataDirs = "/usr/local/share:/usr/share";
    std::string_view rest = dataDirs;
    while (true) {
        const std::size_t colon = rest.find(':');
        addFolder(std::string(rest.substr(0, colon)), folders);
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return folders;
}

std::vector<std::string> applicationFolders(const EnvironmentLookup& lookup) {
    std::vector<std::string> folders = dataFolders(lookup);
    for (std::string& folder : folders)
        folder += folder == "/" ? "applications" : "/applications";
    return folders;
}

std::vector<std::string> dataFolders() {
    return dataFolders(processEnvironment);
}

std::vector<std::string> applicationFolders() {
    return applicationFolders(processEnvironment);
}

} // namespace palmcue::apps
