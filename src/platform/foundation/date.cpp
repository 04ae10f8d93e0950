#include "platform/foundation/date.h"

#include <cstdint>
#include <cstdio>

namespace foundation {
namespace {

using std::chrono::days;
using std::chrono::floor;
using std::chrono::hours;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;
using std::chrono::sys_days;

// Reads exactly `count` decimal digits at `text[offset]`; none when any is not one.
std::optional<int> readDigits(std::string_view text, std::size_t offset, std::size_t count) {
  if (offset + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = offset; i < offset + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The most fraction digits read; beyond microseconds they are cut off.
constexpr std::size_t kMaxFractionDigits = 9;

}  // namespace

Date Date::now() { return Date(std::chrono::time_point_cast<microseconds>(Clock::now())); }

double Date::timeIntervalSince1970() const { return static_cast<double>(time_.time_since_epoch().count()) / 1e6; }

std::string Date::iso8601() const {
  // Floor, not truncation, so that times before 1970 still land on the right second.
  const auto millis = floor<milliseconds>(time_);
  const auto day = floor<days>(millis);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{millis - day};

  const int year = static_cast<int>(date.year());
  const auto month = static_cast<unsigned>(date.month());
  const auto dayOfMonth = static_cast<unsigned>(date.day());
  const auto hours = static_cast<unsigned>(clock.hours().count());
  const auto minutes = static_cast<unsigned>(clock.minutes().count());
  const auto seconds = static_cast<unsigned>(clock.seconds().count());
  const auto subseconds = static_cast<unsigned>(clock.subseconds().count());
  if (year < 0 || year > 9999) {
    // Years outside 0...9999 take the expanded form with an explicit sign.
    char text[48];
    const int length = std::snprintf(text, sizeof text, "%+05d-%02u-%02uT%02u:%02u:%02u.%03uZ", year, month,
                                     dayOfMonth, hours, minutes, seconds, subseconds);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
  }
  // The common form, written digit by digit at a fraction of snprintf's cost.
  std::string text = "0000-00-00T00:00:00.000Z";
  const auto digits = [&text](std::size_t end, unsigned value) {
    for (std::size_t at = end; value != 0; value /= 10) text[--at] = static_cast<char>('0' + value % 10);
  };
  digits(4, static_cast<unsigned>(year));
  digits(7, month);
  digits(10, dayOfMonth);
  digits(13, hours);
  digits(16, minutes);
  digits(19, seconds);
  digits(23, subseconds);
  return text;
}

std::optional<Date> Date::parseISO8601(std::string_view text) {
  // "YYYY-MM-DDTHH:MM:SS" then an optional ".f…" and a final 'Z'.
  constexpr std::size_t kSecondsEnd = 19;
  if (text.size() < kSecondsEnd + 1 || text.back() != 'Z') return std::nullopt;
  if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const auto year = readDigits(text, 0, 4);
  const auto month = readDigits(text, 5, 2);
  const auto day = readDigits(text, 8, 2);
  const auto hour = readDigits(text, 11, 2);
  const auto minute = readDigits(text, 14, 2);
  const auto second = readDigits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{static_cast<unsigned>(*month)},
                                         std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok()) return std::nullopt;

  std::int64_t fraction = 0;  // in microseconds
  const std::size_t fractionEnd = text.size() - 1;
  if (fractionEnd > kSecondsEnd) {
    const std::size_t digits = fractionEnd - kSecondsEnd - 1;
    if (text[kSecondsEnd] != '.' || digits == 0 || digits > kMaxFractionDigits) return std::nullopt;
    std::int64_t scale = 100000;
    for (std::size_t i = kSecondsEnd + 1; i < fractionEnd; ++i) {
      const char c = text[i];
      if (c < '0' || c > '9') return std::nullopt;
      fraction += (c - '0') * scale;
      scale /= 10;
    }
  }

  const TimePoint time = sys_days{date} + hours{*hour} + minutes{*minute} + seconds{*second} + microseconds{fraction};
  return Date(time);
}

}  // namespace foundation
