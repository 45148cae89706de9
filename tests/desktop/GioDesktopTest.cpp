// SPDX-License-Identifier: Apache-2.0
// The GIO layer on a private set of desktop entries: naming, lookup, real launches (one that
// runs, ones whose program fails) and icons.
#include "GioFixture.h"
#include "apps/AppLauncher.h"
#include "desktop/AppIconProvider.h"
#include "desktop/GioNaming.h"
#include "desktop/GioWorkspace.h"
#include "support/LaunchAttempt.h"
#include "support/SharedData.h"

#include <QFile>
#include <QImage>
#include <QUrl>
#include <gtest/gtest.h>

using palmcue::ApplicationLauncher;
using palmcue::apps::AppInfo;
using palmcue::desktop::AppIconProvider;
using palmcue::desktop::GioWorkspace;
using palmcue::desktop::installedApps;
using palmcue::test::gioFixture;
using palmcue::test::waitUntil;
using Result = palmcue::test::LaunchOutcome;

namespace palmcue::apps {
// Readable failure messages.
void PrintTo(const AppInfo& app, std::ostream* out) {
    *out << '{' << app.name.toStdString() << ", " << app.path.toStdString() << '}';
}
} // namespace palmcue::apps

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

class GioLaunchTest : public ::testing::Test {
protected:
    palmcue::test::LaunchAttempt open(const std::string& name) {
        return palmcue::test::launchAttempt(launcher.open(
            name, [this](const std::string& reason) { laterReasons.push_back(reason); }));
    }

    GioWorkspace workspace;
    palmcue::apps::AppLauncher launcher{workspace, installedApps};
    std::vector<std::string> laterReasons;
};

} // namespace

TEST(GioNaming, ListsShownEntriesByTheirGioNameOncePerId) {
    const auto& f = gioFixture();
    const std::vector<AppInfo> expected = {
        {"Bad Interpreter", qs(f.systemApps + "/palmcue-test-bad-interpreter.desktop")},
        {"Failing Tool", qs(f.systemApps + "/palmcue-test-fails.desktop")},
        {"Marker Tool", qs(f.userApps + "/palmcue-test-marker.desktop")},
        {"palmcue-test-noname", qs(f.systemApps + "/palmcue-test-noname.desktop")},
    };
    // Left out: Hidden, NoDisplay, OnlyShowIn another desktop, Type=Link, an unreadable
    // file, one whose program is not installed, and the system's copy of the marker entry,
    // which the user's copy replaces.
    EXPECT_EQ(installedApps(), expected);
}

TEST_F(GioLaunchTest, IdentifierLookupTakesDesktopFileIds) {
    const auto& f = gioFixture();
    const std::string fails = f.systemApps + "/palmcue-test-fails.desktop";
    EXPECT_EQ(workspace.applicationForIdentifier("palmcue-test-fails"), fails);
    EXPECT_EQ(workspace.applicationForIdentifier("palmcue-test-fails.desktop"), fails);
    // The user's entry overrides the system one with the same id.
    EXPECT_EQ(workspace.applicationForIdentifier("palmcue-test-marker"),
              f.userApps + "/palmcue-test-marker.desktop");
    for (const char* unknown : {"palmcue-test-missing", "palmcue-test-hidden", "Failing Tool",
                                "palmcue-test-broken", "no-such-app", ""})
        EXPECT_EQ(workspace.applicationForIdentifier(unknown), std::nullopt) << unknown;
}

TEST_F(GioLaunchTest, LaunchedEntryRunsItsCommand) {
    const auto& f = gioFixture();
    QFile::remove(qs(f.marker("system")));
    QFile::remove(qs(f.marker("user")));

    // By name and by id: the user's copy, which replaces the system's.
    ASSERT_EQ(open("Marker Tool").result, Result::Opened);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(qs(f.marker("user"))); }));
    QFile::remove(qs(f.marker("user")));
    ASSERT_EQ(open("palmcue-test-marker").result, Result::Opened);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(qs(f.marker("user"))); }));
    EXPECT_FALSE(QFile::exists(qs(f.marker("system"))));
}

TEST_F(GioLaunchTest, ProgramThatQuitsAtOnceIsReportedLater) {
    ASSERT_EQ(open("Failing Tool").result, Result::Opened);
    ASSERT_TRUE(waitUntil([&] { return !laterReasons.empty(); }));
    EXPECT_EQ(laterReasons,
              std::vector<std::string>{"its program quit at once with exit status 127"});
}

TEST_F(GioLaunchTest, ProgramThatCannotBeExecutedIsReportedLater) {
    ASSERT_EQ(open("Bad Interpreter").result, Result::Opened);
    ASSERT_TRUE(waitUntil([&] { return !laterReasons.empty(); }));
    EXPECT_EQ(laterReasons,
              std::vector<std::string>{"its program could not be started (exit status 255)"});
}

TEST_F(GioLaunchTest, EntryWhoseProgramIsMissingIsRefused) {
    const std::string missing = gioFixture().systemApps + "/palmcue-test-missing.desktop";
    EXPECT_EQ(open("Missing Program").result, Result::NotFound);
    EXPECT_EQ(open("palmcue-test-missing").result, Result::NotFound);

    const auto direct = workspace.open(missing, {});
    EXPECT_FALSE(direct.ok());
    EXPECT_NE(direct.error().find(missing), std::string::npos) << direct.error();
    EXPECT_FALSE(workspace.open(gioFixture().root + "/nowhere.desktop", {}).ok());
}

TEST(AppIconProvider, ServesTheEntryIconAtTheRequestedSize) {
    const auto& f = gioFixture();
    AppIconProvider provider;
    const QString id = AppIconProvider::imageId(qs(f.systemApps + "/palmcue-test-marker.desktop"));
    // As QML hands the id over: taken back out of an image:// URL.
    const QUrl url(QStringLiteral("image://appicon/") + id);
    const QString handed = url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).mid(1);

    QSize size;
    const QImage icon = provider.requestPixmap(handed, &size, QSize(28, 28)).toImage();
    EXPECT_EQ(size, QSize(28, 28));
    ASSERT_EQ(icon.size(), QSize(28, 28));
    EXPECT_EQ(icon.pixelColor(14, 14), QColor(Qt::red));
}

TEST(AppIconProvider, FallsBackToAGenericIconAndNeverAnEmptyImage) {
    const auto& f = gioFixture();
    AppIconProvider provider;
    const QString noIcon =
        AppIconProvider::imageId(qs(f.userApps + "/palmcue-test-marker.desktop"));
    const QString broken =
        AppIconProvider::imageId(qs(f.systemApps + "/palmcue-test-broken.desktop"));
    for (const QString& id : {noIcon, broken, QStringLiteral("%2Fnowhere"), QString()}) {
        QSize size;
        const QPixmap pixmap = provider.requestPixmap(id, &size, QSize(28, 0));
        EXPECT_EQ(pixmap.size(), QSize(28, 28)) << id.toStdString();
        EXPECT_EQ(size, QSize(28, 28));
    }
    EXPECT_EQ(provider.requestPixmap(noIcon, nullptr, QSize()).size(), QSize(64, 64));
}

TEST(AppIconProvider, FindsTheSystemThemeWithoutADesktopPlatform) {
    if (!QFile::exists(QStringLiteral("/usr/share/icons/Adwaita/index.theme")))
        GTEST_SKIP() << "adwaita-icon-theme is not installed";
    // Under the offscreen platform Qt looks only in its resources until told otherwise.
    AppIconProvider::prepareIconLookup();
    EXPECT_TRUE(QIcon::hasThemeIcon(QStringLiteral("application-x-executable")));
}
