// The log's time of day in the locale's own pattern.
#include "apps/LogTimeFormatter.h"

#include <gtest/gtest.h>

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
