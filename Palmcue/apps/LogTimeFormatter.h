// SPDX-License-Identifier: Apache-2.0
// The time of day as the launch log writes it: hours, minutes and seconds in the pattern a
// locale uses for them (the "jms" skeleton), e.g. "3:07:09 PM" in en_US, "15:07:09" in de_DE.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Locale;
class SimpleDateFormat;
U_NAMESPACE_END

namespace palmcue::apps {

class LogTimeFormatter {
public:
    // An empty locale id means the locale of times (timeLocale()), an empty time zone id the
    // process default. An id ICU does not know falls back to its root locale or to GMT:
    // formatting never fails.
    explicit LogTimeFormatter(const std::string& localeId = {}, const std::string& timeZoneId = {});
    ~LogTimeFormatter();
    LogTimeFormatter(const LogTimeFormatter&) = delete;
    LogTimeFormatter& operator=(const LogTimeFormatter&) = delete;

    // UTF-8. Not thread-safe: one formatter per thread.
    std::string format(std::chrono::system_clock::time_point time) const;

    // The locale that POSIX picks for times: LC_ALL, else LC_TIME, else LANG.
    static icu::Locale timeLocale();

private:
    std::unique_ptr<icu::SimpleDateFormat> format_;
};

} // namespace palmcue::apps
