// SPDX-License-Identifier: Apache-2.0
// The launcher's lookup order: identifier, then exact display name in a fresh catalogue.
#include "apps/AppLauncher.h"

#include "FakeWorkspace.h"
#include "support/LaunchAttempt.h"

#include <gtest/gtest.h>

using palmcue::ApplicationLauncher;
using palmcue::apps::AppInfo;
using palmcue::apps::AppLauncher;
using Result = palmcue::test::LaunchOutcome;

namespace {

class AppLauncherTest : public ::testing::Test {
protected:
    AppLauncherTest() {
        catalogue = {{"Calculator", "/sys/calc.desktop"},
                     {"Terminal", "/sys/term.desktop"},
                     {"Terminal", "/home/term.desktop"},
                     {QStringLiteral("Caf\u00e9"), "/sys/cafe.desktop"}};
    }

    palmcue::test::LaunchAttempt open(const std::string& name) {
        return palmcue::test::launchAttempt(launcher.open(
            name, [this](const std::string& reason) { laterReasons.push_back(reason); }));
    }

    palmcue::test::FakeWorkspace workspace;
    std::vector<AppInfo> catalogue;
    int scans = 0;
    AppLauncher launcher{workspace, [this] {
                             ++scans;
                             return catalogue;
                         }};
    std::vector<std::string> laterReasons;
};

} // namespace

TEST_F(AppLauncherTest, IdentifierComesBeforeDisplayName) {
    workspace.identifiers["Terminal"] = "/ids/org.example.Terminal.desktop";
    EXPECT_EQ(open("Terminal").result, Result::Opened);
    EXPECT_EQ(workspace.opened, std::vector<std::string>{"/ids/org.example.Terminal.desktop"});
    EXPECT_EQ(scans, 0);
}

TEST_F(AppLauncherTest, DisplayNameOpensTheFirstMatchOfAFreshScan) {
    EXPECT_EQ(open("Terminal").result, Result::Opened);
    EXPECT_EQ(workspace.opened, std::vector<std::string>{"/sys/term.desktop"});

    // Installed since the last launch: the next scan sees it.
    catalogue.insert(catalogue.begin(), {"Notes", "/home/notes.desktop"});
    EXPECT_EQ(open("Notes").result, Result::Opened);
    EXPECT_EQ(workspace.opened.back(), "/home/notes.desktop");
    EXPECT_EQ(scans, 2);
}

TEST_F(AppLauncherTest, OpensTheFileByItsOwnBytes) {
    // A file name that is not UTF-8 shows as U+FFFD; the launch needs the real bytes.
    catalogue = {{"Menu", QStringLiteral("/sys/men\ufffd.desktop"), "/sys/men\xfc.desktop"}};
    EXPECT_EQ(open("Menu").result, Result::Opened);
    EXPECT_EQ(workspace.opened, std::vector<std::string>{"/sys/men\xfc.desktop"});
}

TEST_F(AppLauncherTest, NameMatchIsExactButNotFormSensitive) {
    EXPECT_EQ(open("terminal").result, Result::NotFound);
    EXPECT_EQ(open("Termina").result, Result::NotFound);
    EXPECT_EQ(open("Terminal ").result, Result::NotFound);
    EXPECT_EQ(open("").result, Result::NotFound);
    EXPECT_TRUE(workspace.opened.empty());

    EXPECT_EQ(open("Cafe\xcc\x81").result, Result::Opened); // decomposed é
    EXPECT_EQ(workspace.opened, std::vector<std::string>{"/sys/cafe.desktop"});
}

TEST_F(AppLauncherTest, RefusalAndLateFailureAreReported) {
    workspace.refusals["/sys/calc.desktop"] = "broken entry";
    const auto attempt = open("Calculator");
    EXPECT_EQ(attempt.result, Result::Failed);
    EXPECT_EQ(attempt.reason, "broken entry");

    ASSERT_EQ(open("Terminal").result, Result::Opened);
    ASSERT_TRUE(workspace.failLater);
    workspace.failLater("exit status 127");
    EXPECT_EQ(laterReasons, std::vector<std::string>{"exit status 127"});
}
