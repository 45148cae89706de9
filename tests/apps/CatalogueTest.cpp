// SPDX-License-Identifier: Apache-2.0
// The catalogue walk, its sort, the XDG id rules, the files it refuses to open and its memory
// of unchanged files, on temporary folders with a naming rule that takes the display name
// from the file's contents.
#include "apps/AppCatalogue.h"
#include "apps/ApplicationFolders.h"
#include "support/FifoWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using palmcue::apps::AppCatalogue;
using palmcue::apps::AppInfo;
using palmcue::apps::applicationFolders;
using palmcue::apps::EntryVerdict;
using palmcue::apps::listApps;
using palmcue::apps::NamingRule;
using Kind = EntryVerdict::Kind;

namespace {

// Each file holds its display name; an empty file is a refused entry, "!hidden" one marked
// deleted, "!unlisted" one kept out of menus, "!recheck" a refused one to look at again.
const NamingRule nameFromContents = [](const std::string&, const std::string& contents) {
    if (contents.empty())
        return EntryVerdict{};
    if (contents == "!hidden")
        return EntryVerdict{Kind::Hidden, {}, false};
    if (contents == "!unlisted")
        return EntryVerdict{Kind::Unlisted, {}, false};
    if (contents == "!recheck")
        return EntryVerdict{Kind::Unusable, {}, true};
    return EntryVerdict{Kind::Listed, QString::fromStdString(contents), false};
};

class CatalogueTest : public ::testing::Test {
protected:
    std::string folder(const QString& name) {
        const QString path = root.filePath(name);
        QDir().mkpath(path);
        return path.toStdString();
    }
    static void write(const std::string& folder, const QString& file, const QString& name) {
        QFile out(QString::fromStdString(folder) + QLatin1Char('/') + file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(name.toUtf8());
    }
    static std::vector<QString> names(const std::vector<AppInfo>& apps) {
        std::vector<QString> out;
        for (const AppInfo& app : apps)
            out.push_back(app.name);
        return out;
    }
    static std::vector<QString> paths(const std::vector<AppInfo>& apps) {
        std::vector<QString> out;
        for (const AppInfo& app : apps)
            out.push_back(app.path);
        return out;
    }

    QTemporaryDir root;
};

// The file names of a folder in the order the file system lists them.
std::vector<std::string> listingOrder(const std::string& folder) {
    std::vector<std::string> out;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            out.push_back(name);
    }
    closedir(dir);
    return out;
}

} // namespace

TEST_F(CatalogueTest, SortsByLowerCasedNameKeepingFolderOrderForEqualNames) {
    const std::string system = folder("system"), user = folder("user");
    write(system, "beta.desktop", "beta");
    write(system, "term.desktop", "Terminal");
    write(system, "zed.desktop", "Zed");
    write(user, "alpha.desktop", "alpha");
    write(user, "term-user.desktop", "terminal");
    write(user, "Alpha2.desktop", "Alpha");

    const auto apps = listApps({system, user}, nameFromContents);
    // "alpha" and "Alpha" are both in the user folder: their order there is the listing's.
    ASSERT_EQ(apps.size(), 6u);
    EXPECT_EQ(apps[0].name.toLower(), "alpha");
    EXPECT_EQ(apps[1].name.toLower(), "alpha");
    EXPECT_EQ((std::vector<QString>{apps[2].name, apps[3].name, apps[4].name, apps[5].name}),
              (std::vector<QString>{"beta", "Terminal", "terminal", "Zed"}));
    EXPECT_EQ(apps[3].path.toStdString(), system + "/term.desktop");
    EXPECT_EQ(apps[4].path.toStdString(), user + "/term-user.desktop");

    // Swapping the folders swaps the equal-named pair: the sort is stable, not by path.
    const auto swapped = listApps({user, system}, nameFromContents);
    EXPECT_EQ(swapped[3].name, "terminal");
    EXPECT_EQ(swapped[4].name, "Terminal");
}

TEST_F(CatalogueTest, KeepsListingOrderWithinAFolderAndListsEqualNamesOfOtherIds) {
    const std::string user = folder("user"), system = folder("system");
    for (const char* file : {"m.desktop", "c.desktop", "x.desktop", "a.desktop", "q.desktop"})
        write(user, file, "Same");
    write(system, "a.desktop", "Same"); // the same id: the user's copy stands for it
    write(system, "b.desktop", "Same");

    const auto apps = listApps({user, system}, nameFromContents);
    std::vector<QString> expected;
    for (const std::string& file : listingOrder(user))
        expected.push_back(QString::fromStdString(user + "/" + file));
    expected.push_back(QString::fromStdString(system + "/b.desktop"));
    EXPECT_EQ(paths(apps), expected);
}

TEST_F(CatalogueTest, FirstFolderHoldingAnIdDecidesItDeletedOrNot) {
    const std::string user = folder("user"), local = folder("local"), system = folder("system");
    write(user, "edited.desktop", "Edited by the user");
    write(system, "edited.desktop", "Edited");
    write(user, "deleted.desktop", "!hidden");
    write(system, "deleted.desktop", "Deleted");
    write(local, "quiet.desktop", "!unlisted");
    write(system, "quiet.desktop", "Quiet");
    write(user, "broken.desktop", "");
    write(local, "broken.desktop", "Repaired");
    write(system, "broken.desktop", "Original");
    write(system, "plain.desktop", "Plain");
    const std::vector<std::string> folders{user, local, system};

    AppCatalogue catalogue(nameFromContents);
    const auto apps = catalogue.list(folders);
    EXPECT_EQ(names(apps), (std::vector<QString>{"Edited by the user", "Plain", "Repaired"}));
    EXPECT_EQ(apps[0].path.toStdString(), user + "/edited.desktop");
    EXPECT_EQ(apps[2].path.toStdString(), local + "/broken.desktop");

    // Opening by id follows the same rules; an entry kept out of menus can still be opened.
    EXPECT_EQ(catalogue.find(folders, "edited.desktop"), user + "/edited.desktop");
    EXPECT_EQ(catalogue.find(folders, "deleted.desktop"), std::nullopt);
    EXPECT_EQ(catalogue.find(folders, "quiet.desktop"), local + "/quiet.desktop");
    EXPECT_EQ(catalogue.find(folders, "broken.desktop"), local + "/broken.desktop");
    EXPECT_EQ(catalogue.find(folders, "plain.desktop"), system + "/plain.desktop");
    for (const char* notAnId : {"nothing.desktop", "plain", "", "../system/plain.desktop",
                                "system/plain.desktop", ".desktop"})
        EXPECT_EQ(catalogue.find(folders, notAnId), std::nullopt) << notAnId;
}

TEST_F(CatalogueTest, OpensOnlyRegularFilesOfEntrySize) {
    const std::string user = folder("user"), system = folder("system");
    write(system, "fifo.desktop", "Regular under a FIFO");
    write(system, "dir.desktop", "Regular under a folder");
    write(system, "device.desktop", "Regular under a device");
    palmcue::test::FifoWatch fifo(user + "/fifo.desktop");
    QDir().mkpath(QString::fromStdString(user + "/dir.desktop"));
    ASSERT_EQ(symlink("/dev/zero", (user + "/device.desktop").c_str()), 0);
    ASSERT_EQ(symlink((system + "/fifo.desktop").c_str(), (user + "/link.desktop").c_str()), 0);
    // A socket, as a program's socket named like an entry would be. Bound by a relative
    // name: socket addresses are short, the temporary folder's path may not be.
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "socket.desktop");
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(user)));
    const int bound = bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    QDir::setCurrent(cwd);
    ASSERT_EQ(bound, 0);
    write(user, "huge.desktop", QString(int(palmcue::apps::kMaxDesktopFileBytes) + 1, 'x'));
    write(user, "large.desktop", QString(int(palmcue::apps::kMaxDesktopFileBytes), 'y'));

    AppCatalogue catalogue(nameFromContents);
    const auto apps = catalogue.list({user, system});
    ::close(sock);
    // What is not a regular file is no entry and hides nothing; a link to one is one.
    std::vector<std::string> found;
    for (const AppInfo& app : apps)
        found.push_back(app.path.toStdString());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{system + "/device.desktop", system + "/dir.desktop",
                                               system + "/fifo.desktop", user + "/large.desktop",
                                               user + "/link.desktop"}));
    EXPECT_EQ(catalogue.find({user, system}, "fifo.desktop"), system + "/fifo.desktop");
    EXPECT_EQ(catalogue.find({user, system}, "socket.desktop"), std::nullopt);
    EXPECT_FALSE(fifo.opened());
}

TEST_F(CatalogueTest, ReadsOnlyNewAndChangedFilesAndForgetsRemovedOnes) {
    const std::string apps = folder("apps");
    write(apps, "a.desktop", "Alpha");
    write(apps, "b.desktop", "Beta");
    write(apps, "later.desktop", "!recheck");
    std::map<std::string, int> reads;
    AppCatalogue catalogue([&reads](const std::string& path, const std::string& contents) {
        ++reads[QFileInfo(QString::fromStdString(path)).fileName().toStdString()];
        return nameFromContents(path, contents);
    });
    EXPECT_EQ(names(catalogue.list({apps})), (std::vector<QString>{"Alpha", "Beta"}));
    EXPECT_EQ(names(catalogue.list({apps})), (std::vector<QString>{"Alpha", "Beta"}));
    EXPECT_EQ(reads, (std::map<std::string, int>{
                         {"a.desktop", 1}, {"b.desktop", 1}, {"later.desktop", 2}}));

    // Rewritten with the same size and modification time: the change time still tells.
    const std::string b = apps + "/b.desktop";
    struct stat before {};
    ASSERT_EQ(stat(b.c_str(), &before), 0);
    write(apps, "b.desktop", "Bet2");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, b.c_str(), times, 0), 0);
    // Installed and removed since the last walk.
    write(apps, "c.desktop", "Gamma");
    ASSERT_EQ(unlink((apps + "/a.desktop").c_str()), 0);
    write(apps, "later.desktop", "Later");

    EXPECT_EQ(names(catalogue.list({apps})), (std::vector<QString>{"Bet2", "Gamma", "Later"}));
    EXPECT_EQ(reads,
              (std::map<std::string, int>{
                  {"a.desktop", 1}, {"b.desktop", 2}, {"c.desktop", 1}, {"later.desktop", 3}}));
    // Put back as it was: a removed file was forgotten, so it is read again.
    write(apps, "a.desktop", "Alpha");
    EXPECT_EQ(names(catalogue.list({apps})),
              (std::vector<QString>{"Alpha", "Bet2", "Gamma", "Later"}));
    EXPECT_EQ(reads["a.desktop"], 2);
    EXPECT_EQ(reads["later.desktop"], 3);
}

TEST_F(CatalogueTest, KeepsAFileNameThatIsNotUtf8AsBytes) {
    const std::string apps = folder("apps");
    const std::string latin1 = apps + "/caf\xe9.desktop";
    std::FILE* file = std::fopen(latin1.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("Caf\xc3\xa9", file);
    std::fclose(file);
    const auto listed = listApps({apps}, nameFromContents);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(listed[0].location(), latin1);
    EXPECT_TRUE(listed[0].path.endsWith(QStringLiteral("caf\ufffd.desktop")));
    // A record made from text alone is opened by that text in the file-name encoding.
    EXPECT_EQ((AppInfo{"x", QStringLiteral("/a/caf\u00e9.desktop")}.location()),
              "/a/caf\xc3\xa9.desktop");
}

TEST_F(CatalogueTest, TakesOnlyDesktopFilesOneLevelDeepThatTheRuleNames) {
    const std::string apps = folder("apps");
    write(apps, "shown.desktop", "Shown");
    write(apps, "refused.desktop", "");
    write(apps, "upper.DESKTOP", "Upper");
    write(apps, "backup.desktop.bak", "Backup");
    write(apps, "notes.txt", "Notes");
    write(apps, ".desktop", "Nameless");
    write(folder("apps/nested"), "deep.desktop", "Deep");
    folder("apps/folder.desktop");

    std::vector<std::string> asked;
    const auto listed =
        listApps({apps}, [&asked](const std::string& path, const std::string& contents) {
            asked.push_back(path);
            return nameFromContents(path, contents);
        });
    EXPECT_EQ(names(listed), std::vector<QString>{"Shown"});
    EXPECT_EQ(paths(listed), std::vector<QString>{QString::fromStdString(apps + "/shown.desktop")});
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked,
              (std::vector<std::string>{apps + "/refused.desktop", apps + "/shown.desktop"}));
}

TEST_F(CatalogueTest, SkipsMissingAndUnreadableFolders) {
    const std::string good = folder("good"), locked = folder("locked");
    write(good, "a.desktop", "A");
    write(locked, "b.desktop", "B");
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    // Root reads through permissions; then this folder proves nothing about unreadable ones.
    DIR* probe = opendir(locked.c_str());
    const bool lockWorks = probe == nullptr;
    if (probe)
        closedir(probe);

    const auto apps =
        listApps({root.filePath("missing").toStdString(), locked, good, good + "/a.desktop"},
                 nameFromContents);
    chmod(locked.c_str(), 0700);
    if (lockWorks)
        EXPECT_EQ(names(apps), std::vector<QString>{"A"});
    else
        EXPECT_EQ(names(apps), (std::vector<QString>{"A", "B"}));
}

TEST_F(CatalogueTest, ComparesComposedLowerCaseByCodePointWhateverTheLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey)); // dotted/dotless i
    const std::string apps = folder("apps");
    write(apps, "1.desktop", QStringLiteral("\u00c9diteur"));    // É composed
    write(apps, "2.desktop", QStringLiteral("E\u0301diteur b")); // É decomposed
    write(apps, "3.desktop", QStringLiteral("zebra"));
    write(apps, "4.desktop", QStringLiteral("Inkscape"));
    write(apps, "5.desktop", QStringLiteral("\uff3a wide"));       // fullwidth Z
    write(apps, "6.desktop", QStringLiteral("\U0001D49C script")); // outside the BMP
    write(apps, "7.desktop", QStringLiteral("hello"));

    const auto listed = listApps({apps}, nameFromContents);
    QLocale::setDefault(saved);
    // "I" lowers to "i" (not dotless), so Inkscape sorts after hello; É (U+00E9 once lowered
    // and composed) comes after z, and the decomposed one sorts as if composed; U+FF3A comes
    // before U+1D49C by code point (UTF-16 units would put the surrogate pair first).
    EXPECT_EQ(names(listed), (std::vector<QString>{
                                 "hello", "Inkscape", "zebra", QStringLiteral("\u00c9diteur"),
                                 QStringLiteral("E\u0301diteur b"), QStringLiteral("\uff3a wide"),
                                 QStringLiteral("\U0001D49C script")}));
}

TEST(AppNaming, RemovesOnlyTheTrailingSuffix) {
    using palmcue::apps::nameFromFileName;
    EXPECT_EQ(nameFromFileName("my.desktop.tool.desktop"), "my.desktop.tool");
    EXPECT_EQ(nameFromFileName("Tool.DESKTOP"), "Tool.DESKTOP");
    EXPECT_EQ(nameFromFileName("tool"), "tool");
}

TEST(AppInfoIdentity, EqualAndHashedAlikeInComposedForm) {
    const AppInfo composed{QStringLiteral("Caf\u00e9"), QStringLiteral("/a/caf\u00e9.desktop")};
    const AppInfo decomposed{QStringLiteral("Cafe\u0301"), QStringLiteral("/a/cafe\u0301.desktop")};
    EXPECT_EQ(composed, decomposed);
    EXPECT_EQ(std::hash<AppInfo>()(composed), std::hash<AppInfo>()(decomposed));
    EXPECT_NE(composed, (AppInfo{composed.name, "/b/caf\u00e9.desktop"}));
    EXPECT_NE(composed, (AppInfo{"Cafe", composed.path}));
    // Name and path are not interchangeable.
    EXPECT_NE((AppInfo{"x", "y"}), (AppInfo{"y", "x"}));
    EXPECT_NE(std::hash<AppInfo>()(AppInfo{"x", "y"}), std::hash<AppInfo>()(AppInfo{"y", "x"}));
}

TEST(ApplicationFolders, FollowTheXdgRules) {
    const auto foldersFor = [](std::map<std::string, std::string> env) {
        return applicationFolders([env](const char* name) -> std::optional<std::string> {
            if (const auto it = env.find(name); it != env.end())
                return it->second;
            return std::nullopt;
        });
    };
    using Folders = std::vector<std::string>;
    // Precedence order: the user's folder first.
    EXPECT_EQ(foldersFor({{"HOME", "/home/u"}}),
              (Folders{"/home/u/.local/share/applications", "/usr/local/share/applications",
                       "/usr/share/applications"}));
    EXPECT_EQ(foldersFor({{"HOME", "/home/u"}, {"XDG_DATA_DIRS", ""}, {"XDG_DATA_HOME", ""}}),
              (Folders{"/home/u/.local/share/applications", "/usr/local/share/applications",
                       "/usr/share/applications"}));
    // Order kept, relative and empty entries ignored, repeats listed once where they rank
    // highest.
    EXPECT_EQ(foldersFor({{"XDG_DATA_DIRS", "/opt/b/:rel/x::/opt/a:/opt/b:/data/home"},
                          {"XDG_DATA_HOME", "/data/home"},
                          {"HOME", "/home/u"}}),
              (Folders{"/data/home/applications", "/opt/b/applications", "/opt/a/applications"}));
    // A relative XDG_DATA_HOME falls back to the default; no HOME leaves the user's out.
    EXPECT_EQ(foldersFor({{"XDG_DATA_DIRS", "/s"}, {"XDG_DATA_HOME", "data"}, {"HOME", "/h"}}),
              (Folders{"/h/.local/share/applications", "/s/applications"}));
    EXPECT_EQ(foldersFor({{"XDG_DATA_DIRS", "/s"}}), (Folders{"/s/applications"}));
}
