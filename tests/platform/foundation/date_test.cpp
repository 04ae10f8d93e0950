#include "platform/foundation/date.h"

#include <gtest/gtest.h>

namespace foundation {
namespace {

Date at(std::int64_t microseconds) { return Date(Date::TimePoint(std::chrono::microseconds(microseconds))); }

TEST(Date, WritesUTCWithMilliseconds) {
  const struct {
    std::int64_t microseconds;
    std::string text;
  } cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {1796544014123456, "2026-12-06T08:00:14.123Z"},  // the fraction is cut, not rounded
      {-1, "1969-12-31T23:59:59.999Z"},                // before 1970 it still floors
      {951782400000000, "2000-02-29T00:00:00.000Z"},
  };
  for (const auto& c : cases) EXPECT_EQ(at(c.microseconds).iso8601(), c.text);
  EXPECT_DOUBLE_EQ(at(1500000).timeIntervalSince1970(), 1.5);
}

TEST(Date, ParsesTheWrittenFormOnly) {
  const struct {
    std::string text;
    std::optional<std::int64_t> microseconds;
  } cases[] = {
      {"2026-12-06T08:00:14.123Z", 1796544014123000},
      {"2026-12-06T08:00:14Z", 1796544014000000},
      {"2026-12-06T08:00:14.1Z", 1796544014100000},
      {"2026-12-06T08:00:14.123456789Z", 1796544014123456},
      {"2024-02-29T00:00:00Z", 1709164800000000},
      {"2023-02-29T00:00:00Z", std::nullopt},
      {"2026-13-06T08:00:14Z", std::nullopt},
      {"2026-12-06T24:00:00Z", std::nullopt},
      {"2026-12-06T08:00:60Z", std::nullopt},
      {"2026-12-06T08:00:14", std::nullopt},
      {"2026-12-06T08:00:14z", std::nullopt},
      {"2026-12-06 08:00:14Z", std::nullopt},
      {"2026-12-06T08:00:14+01:00", std::nullopt},
      {"2026-12-06T08:00:14.Z", std::nullopt},
      {"2026-12-06T08:00:14.1234567890Z", std::nullopt},
      {"2026-12-6T08:00:14Z", std::nullopt},
      {"+2026-12-06T08:00:14Z", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto parsed = Date::parseISO8601(c.text);
    ASSERT_EQ(parsed.has_value(), c.microseconds.has_value()) << c.text;
    if (parsed) {
      EXPECT_EQ(*parsed, at(*c.microseconds)) << c.text;
    }
  }
  const Date now = Date::now();
  EXPECT_EQ(Date::parseISO8601(now.iso8601())->iso8601(), now.iso8601());
}

}  // namespace
}  // namespace foundation
