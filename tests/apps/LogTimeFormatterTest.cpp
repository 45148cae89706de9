// SPDX-License-Identifier: Apache-2.0
// The log's time of day in the locale's own pattern.
#include "apps/LogTimeFormatter.h"

#include "apps/SystemClock.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using palmcue::apps::LogTimeFormatter;

namespace {
// 2024-03-05 15:07:09 UTC
const std::chrono::system_clock::time_point kAfternoon{std::chrono::seconds(1709651229)};
} // namespace

TEST(LogTimeFormatter, UsesTheLocalePatternForHoursMinutesSeconds) {
    // CLDR puts a narrow no-break space before the day period.
    EXPECT_EQ(LogTimeFormatter("en_US", "UTC").format(kAfternoon), "3:07:09\u202fPM");
    EXPECT_EQ(LogTimeFormatter("de_DE", "UTC").format(kAfternoon), "15:07:09");
    EXPECT_EQ(LogTimeFormatter("de_DE", "Europe/Berlin").format(kAfternoon), "16:07:09");
}

TEST(LogTimeFormatter, UnknownIdsStillFormat) {
    const std::string text = LogTimeFormatter("xx_NOWHERE", "No/Such_Zone").format(kAfternoon);
    EXPECT_NE(text.find("07:09"), std::string::npos) << text;
}

// Times follow LC_TIME (LC_ALL above it, LANG below), not the language of the messages.
TEST(LogTimeFormatter, FollowsTheTimeLocaleOfTheEnvironment) {
    const char* names[] = {"LC_ALL", "LC_TIME", "LANG", "LC_MESSAGES"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    const auto format = [] { return LogTimeFormatter({}, "UTC").format(kAfternoon); };

    ::unsetenv("LC_ALL");
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::setenv("LC_MESSAGES", "en_US.UTF-8", 1);
    ::setenv("LC_TIME", "de_DE.UTF-8", 1);
    EXPECT_EQ(format(), "15:07:09");
    ::setenv("LC_TIME", "de_DE.UTF-8@euro", 1);
    EXPECT_EQ(format(), "15:07:09");
    // The launcher's clock formats the same way: a 24-hour time, no day period.
    const std::string now = palmcue::apps::SystemClock().logTimeText();
    EXPECT_EQ(now.size(), 8u) << now;
    EXPECT_EQ(now.find_first_not_of("0123456789:"), std::string::npos) << now;
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(format(), "3:07:09\u202fPM");
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_TIME");
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(format(), "15:07:09");

    for (size_t i = 0; i < std::size(names); ++i) {
        if (saved[i])
            ::setenv(names[i], saved[i]->c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
}
