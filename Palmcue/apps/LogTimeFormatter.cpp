// SPDX-License-Identifier: Apache-2.0
#include "apps/LogTimeFormatter.h"

#include <cstdlib>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace palmcue::apps {

namespace {

icu::UnicodeString bestPattern(const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_SUCCESS(status) && generator) {
        icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"jms"), status);
        if (U_SUCCESS(status) && !pattern.isEmpty())
            return pattern;
    }
    return icu::UnicodeString(u"HH:mm:ss");
}

} // namespace

icu::Locale LogTimeFormatter::timeLocale() {
    // ICU's own default follows LC_MESSAGES; times follow LC_TIME.
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0')
            continue;
        // "de_DE.UTF-8@euro": the codeset and the modifier mean nothing to ICU.
        std::string id(value);
        id.resize(id.find_first_of(".@") == std::string::npos ? id.size() : id.find_first_of(".@"));
        if (id == "C" || id == "POSIX")
            return icu::Locale("en_US_POSIX");
        return icu::Locale(id.c_str());
    }
    return icu::Locale::getDefault();
}

LogTimeFormatter::LogTimeFormatter(const std::string& localeId, const std::string& timeZoneId) {
    const icu::Locale locale = localeId.empty() ? timeLocale() : icu::Locale(localeId.c_str());
    UErrorCode status = U_ZERO_ERROR;
    format_ = std::make_unique<icu::SimpleDateFormat>(bestPattern(locale), locale, status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        format_ = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(u"HH:mm:ss"),
                                                          icu::Locale::getRoot(), status);
    }
    format_->adoptTimeZone(timeZoneId.empty() ? icu::TimeZone::createDefault()
                                              : icu::TimeZone::createTimeZone(
                                                    icu::UnicodeString::fromUTF8(timeZoneId)));
}

LogTimeFormatter::~LogTimeFormatter() = default;

std::string LogTimeFormatter::format(std::chrono::system_clock::time_point time) const {
    const UDate date = static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
    icu::UnicodeString text;
    format_->format(date, text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

} // namespace palmcue::apps
