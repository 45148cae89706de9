// The catalogue walk, its sort and the XDG folder list, on temporary folders with a naming
// rule that reads the display name from the file's contents.
#include "apps/AppCatalogue.h"
#include "apps/ApplicationFolders.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using palmcue::apps::AppInfo;
using palmcue::apps::applicationFolders;
using palmcue::apps::listApps;
using palmcue::apps::NamingRule;

namespace {

// Each file holds its display name; an empty file is a refused entry.
const NamingRule nameFromContents = [](const std::string& path) -> std::optional<QString> {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString name = QString::fromUtf8(file.readAll());
    if (name.isEmpty())
        return std::nullopt;
    return name;
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
    write(user, "term.desktop", "terminal");
    write(user, "Alpha2.desktop", "Alpha");

    const auto apps = listApps({system, user}, nameFromContents);
    // "alpha" and "Alpha" are both in the user folder: their order there is the listing's.
    ASSERT_EQ(apps.size(), 6u);
    EXPECT_EQ(apps[0].name.toLower(), "alpha");
    EXPECT_EQ(apps[1].name.toLower(), "alpha");
    EXPECT_EQ((std::vector<QString>{apps[2].name, apps[3].name, apps[4].name, apps[5].name}),
              (std::vector<QString>{"beta", "Terminal", "terminal", "Zed"}));
    EXPECT_EQ(apps[3].path.toStdString(), system + "/term.desktop");
    EXPECT_EQ(apps[4].path.toStdString(), user + "/term.desktop");

    // Swapping the folders swaps the equal-named pair: the sort is stable, not by path.
    const auto swapped = listApps({user, system}, nameFromContents);
    EXPECT_EQ(swapped[3].name, "terminal");
    EXPECT_EQ(swapped[4].name, "Terminal");
}

TEST_F(CatalogueTest, KeepsListingOrderWithinAFolderAndListsDuplicatesTwice) {
    const std::string system = folder("system"), user = folder("user");
    for (const char* file : {"m.desktop", "c.desktop", "x.desktop", "a.desktop", "q.desktop"})
        write(system, file, "Same");
    write(user, "a.desktop", "Same");

    const auto apps = listApps({system, user}, nameFromContents);
    std::vector<QString> expected;
    for (const std::string& file : listingOrder(system))
        expected.push_back(QString::fromStdString(system + "/" + file));
    expected.push_back(QString::fromStdString(user + "/a.desktop"));
    EXPECT_EQ(paths(apps), expected);
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
    const auto listed = listApps({apps}, [&asked](const std::string& path) {
        asked.push_back(path);
        return nameFromContents(path);
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
    EXPECT_EQ(foldersFor({{"HOME", "/home/u"}}),
              (Folders{"/usr/local/share/applications", "/usr/share/applications",
                       "/home/u/.local/share/applications"}));
    EXPECT_EQ(foldersFor({{"HOME", "/home/u"}, {"XDG_DATA_DIRS", ""}, {"XDG_DATA_HOME", ""}}),
              (Folders{"/usr/local/share/applications", "/usr/share/applications",
                       "/home/u/.local/share/applications"}));
    // Order kept, relative and empty entries ignored, repeats listed once.
    EXPECT_EQ(foldersFor({{"XDG_DATA_DIRS", "/opt/b/:rel/x::/opt/a:/opt/b"},
                          {"XDG_DATA_HOME", "/data/home"},
                          {"HOME", "/home/u"}}),
              (Folders{"/opt/b/applications", "/opt/a/applications", "/data/home/applications"}));
    // A relative XDG_DATA_HOME falls back to the default; no HOME leaves the user's out.
    EXPECT_EQ(foldersFor({{"XDG_DATA_DIRS", "/s"}, {"XDG_DATA_HOME", "data"}, {"HOME", "/h"}}),
              (Folders{"/s/applications", "/h/.local/share/applications"}));
    EXPECT_EQ(foldersFor({{"XDG_DATA_DIRS", "/s"}}), (Folders{"/s/applications"}));
}
