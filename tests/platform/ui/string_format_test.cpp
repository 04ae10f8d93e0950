// The platform's format strings filled with integer and string values: every
// placeholder form, what cannot be filled, and values never read as formats.
#include "platform/ui/string_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace ui {
namespace {

TEST(FormatString, FillsPlaceholdersAndShowsWhatItCannotFillAsWritten) {
  using A = std::vector<FormatArgument>;
  const struct {
    const char* name;
    std::string format;
    A arguments;
    std::string expected;
  } cases[] = {
      // It fills every placeholder form.
      {"integer", "%lld", A{std::int64_t{120}}, "120"},
      {"string", "%@", A{std::string("Let it be")}, "Let it be"},
      {"two sequential", "%lld/%lld", A{std::int64_t{3}, std::int64_t{4}}, "3/4"},
      {"positional reordered", "%2$@ %1$lld", A{std::int64_t{7}, std::string("x")}, "x 7"},
      {"positional repeated", "%1$@%1$@", A{std::string("ab")}, "abab"},
      {"percent escape", "100%%", A{}, "100%"},
      {"percent escape beside value", "%lld%%", A{std::int64_t{50}}, "50%"},
      {"negative", "%lld", A{std::int64_t{-3}}, "-3"},
      {"largest", "%lld", A{std::numeric_limits<std::int64_t>::max()}, "9223372036854775807"},
      {"smallest", "%lld", A{std::numeric_limits<std::int64_t>::min()}, "-9223372036854775808"},
      {"multibyte text kept", "Größe %lld", A{std::int64_t{2}}, "Größe 2"},
      // It shows what it cannot fill as written.
      {"unknown conversion", "%d items", A{std::int64_t{3}}, "%d items"},
      {"float", "%.2f", A{std::int64_t{3}}, "%.2f"},
      {"lone percent at end", "50%", A{}, "50%"},
      {"missing argument", "%lld and %lld", A{std::int64_t{1}}, "1 and %lld"},
      {"no arguments at all", "%@", A{}, "%@"},
      {"wrong kind: string for integer", "%lld", A{std::string("x")}, "%lld"},
      {"wrong kind still takes its slot", "%lld %@", A{std::string("a"), std::string("b")}, "%lld b"},
      {"position past the end", "%3$@", A{std::string("a")}, "%3$@"},
      {"position zero", "%0$@", A{std::string("a")}, "%0$@"},
      {"position overflowing", "%99999999999999999999999$@", A{std::string("a")}, "%99999999999999999999999$@"},
      {"position without conversion", "%1$", A{std::string("a")}, "%1$"},
      {"surplus arguments ignored", "%lld", A{std::int64_t{1}, std::int64_t{2}}, "1"},
      // It never reads values as formats.
      {"value with percent", "%@", A{std::string("100%")}, "100%"},
      {"value looking like a placeholder", "%@ %@", A{std::string("%@"), std::string("b")}, "%@ b"},
      {"value with positional form", "%1$@", A{std::string("%1$@")}, "%1$@"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatString(c.format, c.arguments), c.expected) << c.name << ": format " << c.format;
  }
}

}  // namespace
}  // namespace ui
