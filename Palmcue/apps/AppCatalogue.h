// SPDX-License-Identifier: Apache-2.0
// The list of installed applications: a walk over the application folders, each .desktop
// file judged by a rule from the platform layer, sorted by name. Kept free of any desktop
// library so that it runs on temporary folders in tests.
//
// Desktop-file ids follow the XDG rules: the folders are given in precedence order, and an
// id (the file name) found in a folder hides every file of that id in the folders after it,
// whether the first one is listed, left out of menus or marked deleted (Hidden). A file that
// is not a usable entry at all (unreadable, broken, its program missing) hides nothing.
#pragma once

#include "apps/AppInfo.h"
#include "apps/RegularFile.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace palmcue::apps {

// What the platform makes of one desktop file.
struct EntryVerdict {
    enum class Kind {
        Unusable, // not a usable entry: as if the file were not there
        Listed,   // an application for the picker, named `name`
        Unlisted, // a valid entry kept out of menus (NoDisplay, another desktop): opened by id
        Hidden,   // marked deleted: its id is gone from every lower-precedence folder too
    };
    Kind kind = Kind::Unusable;
    QString name;
    // Judged again at every walk even when the file is unchanged, because the verdict rests
    // on something outside the file (a program that is not installed yet).
    bool recheck = false;
};

// Judges the .desktop file at `path` (full path, as bytes) from its `contents`.
using NamingRule =
    std::function<EntryVerdict(const std::string& path, const std::string& contents)>;

// Desktop entries are small; a bigger file is not one.
inline constexpr std::size_t kMaxDesktopFileBytes = 1 << 20;

// Remembers each file's verdict by the file's identity (device, inode, size, change times),
// so that a walk reads only the files that are new or changed since the last one and
// otherwise costs a listing and a stat per entry: an application installed or removed is
// still seen at the next walk. Only regular files are ever opened. Not thread-safe.
//
// What still blocks is a folder on a network mount that stops answering: listing it or
// stat'ing a file in it waits for the server. Guarding against that would take a thread that
// can be abandoned; a home or /usr on such a mount hangs the whole desktop session anyway.
class AppCatalogue {
public:
    explicit AppCatalogue(NamingRule rule);

    // `folders` in precedence order, highest first; each listed one level deep in the order
    // the file system lists it; only names ending in ".desktop" (case-sensitive); folders
    // that cannot be read are skipped. The result is sorted stably by sortKey(), so equal
    // names keep precedence order.
    std::vector<AppInfo> list(const std::vector<std::string>& folders);

    // The file (full path, bytes) of the entry with desktop-file id `id` ("foo.desktop"):
    // the first folder holding a usable entry of that id decides; nothing when that entry is
    // marked deleted, or when no folder holds one.
    std::optional<std::string> find(const std::vector<std::string>& folders, const std::string& id);

private:
    struct Judged {
        FileIdentity identity;
        EntryVerdict verdict;
        bool seen = false; // in the current walk
    };
    // The verdict for the file at `path`, from the cache while the file is unchanged.
    EntryVerdict judge(const std::string& path);

    NamingRule rule_;
    std::unordered_map<std::string, Judged> judged_;
};

// One walk with a fresh catalogue.
std::vector<AppInfo> listApps(const std::vector<std::string>& folders, const NamingRule& rule);

// The sort key of a display name: the Unicode default lower case (not the user's locale),
// composed (NFC), as UTF-8 so that comparing bytes compares code points.
std::string sortKey(const QString& name);

// A name made from a .desktop file name: only the trailing ".desktop" is removed.
QString nameFromFileName(const QString& fileName);

} // namespace palmcue::apps
