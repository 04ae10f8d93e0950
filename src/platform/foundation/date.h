// Date: an absolute point in time, the stand-in for the platform's `Date`.
//
// A plain value with microsecond precision, comparable. `Date::now()` reads the
// system clock; `iso8601()` writes the UTC form used in protocol answers and output,
// for example "2026-12-06T08:00:14.123Z" (milliseconds, always UTC).
#pragma once

#include <chrono>
#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

class Date {
 public:
  using Clock = std::chrono::system_clock;
  using TimePoint = std::chrono::time_point<Clock, std::chrono::microseconds>;

  Date() : Date(now()) {}
  explicit Date(TimePoint time) : time_(time) {}

  static Date now();

  TimePoint timePoint() const { return time_; }

  // Seconds since 1970-01-01T00:00:00Z, with fraction.
  double timeIntervalSince1970() const;

  // "YYYY-MM-DDTHH:MM:SS.mmmZ" in UTC.
  std::string iso8601() const;

  // Reads the form `iso8601()` writes, with or without the fraction; none otherwise.
  static std::optional<Date> parseISO8601(std::string_view text);

  friend bool operator==(const Date&, const Date&) = default;
  friend auto operator<=>(const Date&, const Date&) = default;

 private:
  TimePoint time_;
};

}  // namespace foundation
