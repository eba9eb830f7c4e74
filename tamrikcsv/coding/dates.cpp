#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/strenum.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>

#include "tamrikcsv/coding/values.hpp"

namespace tamrikcsv {

namespace {

std::string toUTF8(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

icu::UnicodeString fromUTF8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// ICU quietly falls back to the Gregorian calendar for a calendar name it does not know, so the name is
// checked against the calendars ICU offers.
bool isKnownCalendar(const icu::Locale& locale, const std::string& calendar) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::StringEnumeration> names(
      icu::Calendar::getKeywordValuesForLocale("calendar", locale, false, status));
  if (U_FAILURE(status) || !names) return false;
  while (const char* name = names->next(nullptr, status)) {
    if (calendar == name) return true;
  }
  return false;
}

// ICU takes a pattern with an unterminated quote as if it were closed at the end. Every well-formed
// pattern has an even number of quotes: "''" is a quote character, and a quoted run opens and closes.
bool hasBalancedQuotes(const std::string& pattern) {
  return std::count(pattern.begin(), pattern.end(), '\'') % 2 == 0;
}

}  // namespace

struct DateFormatter::Impl {
  // ICU formatters keep parse and format state in themselves, so one call runs at a time.
  std::mutex mutex;
  std::unique_ptr<icu::SimpleDateFormat> format;
};

DateFormatter::DateFormatter(std::string pattern, std::unique_ptr<Impl> impl)
    : pattern_(std::move(pattern)), impl_(std::move(impl)) {}

DateFormatter::~DateFormatter() = default;

std::shared_ptr<DateFormatter> DateFormatter::make(std::string pattern, Locale locale, std::string timeZone,
                                                   std::string calendar) {
  icu::Locale icuLocale(locale.identifier().c_str());
  if (icuLocale.isBogus()) throw std::invalid_argument("Unknown locale '" + locale.identifier() + "'");
  if (!isKnownCalendar(icuLocale, calendar))
    throw std::invalid_argument("Unknown calendar '" + calendar + "'");
  UErrorCode status = U_ZERO_ERROR;
  icuLocale.setKeywordValue("calendar", calendar.c_str(), status);
  if (U_FAILURE(status)) throw std::invalid_argument("Unusable locale '" + locale.identifier() + "'");

  // An unknown identifier gives the "Etc/Unknown" zone rather than an error.
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(fromUTF8(timeZone)));
  icu::UnicodeString zoneID;
  if (!zone || zone->getID(zoneID) == icu::UnicodeString(u"Etc/Unknown")) {
    throw std::invalid_argument("Unknown time zone '" + timeZone + "'");
  }

  if (!hasBalancedQuotes(pattern))
    throw std::invalid_argument("Unterminated quote in pattern '" + pattern + "'");
  auto impl = std::make_unique<Impl>();
  impl->format = std::make_unique<icu::SimpleDateFormat>(fromUTF8(pattern), icuLocale, status);
  if (U_FAILURE(status)) throw std::invalid_argument("Invalid date pattern '" + pattern + "'");
  impl->format->adoptTimeZone(zone.release());
  impl->format->setLenient(false);

  // Unknown pattern letters only show when formatting.
  status = U_ZERO_ERROR;
  icu::UnicodeString probe;
  impl->format->format(0.0, probe, nullptr, status);
  if (U_FAILURE(status)) throw std::invalid_argument("Invalid date pattern '" + pattern + "'");

  return std::shared_ptr<DateFormatter>(new DateFormatter(std::move(pattern), std::move(impl)));
}

std::optional<Date> DateFormatter::parse(std::string_view text) const {
  const icu::UnicodeString unicode = fromUTF8(text);
  icu::ParsePosition position(0);
  UDate milliseconds;
  {
    std::lock_guard lock(impl_->mutex);
    milliseconds = impl_->format->parse(unicode, position);
  }
  if (position.getErrorIndex() >= 0 || position.getIndex() != unicode.length()) return std::nullopt;
  return dateSince1970(milliseconds / 1000.0);
}

std::string DateFormatter::format(Date date) const {
  // ICU counts whole milliseconds and drops any fraction, so a date read as 05.678 s, which as a double
  // may sit just below that, is rounded to the millisecond it stands for.
  const double milliseconds = std::round(secondsSince1970(date) * 1000.0);
  // ICU formats NaN and infinities as nonsense without an error; far-out finite dates it refuses itself.
  if (!std::isfinite(milliseconds)) throw std::invalid_argument("The date is not a finite time");
  icu::UnicodeString result;
  UErrorCode status = U_ZERO_ERROR;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->format->format(milliseconds, result, nullptr, status);
  }
  if (U_FAILURE(status)) throw std::invalid_argument("The date is outside the range of the calendar");
  return toUTF8(result);
}

const DateFormatter& iso8601Formatter() {
  static const std::shared_ptr<DateFormatter> formatter =
      DateFormatter::make("yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ", Locale("en_US_POSIX"), "GMT", "iso8601");
  return *formatter;
}

}  // namespace tamrikcsv
