#include "platform/ui/localized_string_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/localizer.h"

namespace ui {
namespace {

TEST(LocalizedStringKey, BuildsKeyAndArguments) {
  struct Case {
    const char* name;
    LocalizedStringKey key;
    std::string expectedKey;
    std::vector<FormatArgument> expectedArguments;
    std::string shown;  // with no bundle: the key, placeholders filled
  };
  const std::vector<Case> cases = {
      {"literal", LocalizedStringKey("Kadenzo"), "Kadenzo", {}, "Kadenzo"},
      {"literal keeps percent", LocalizedStringKey("100%"), "100%", {}, "100%"},
      {"literal shown as found", LocalizedStringKey("a %@ b"), "a %@ b", {}, "a %@ b"},
      {"tempo", LocalizedStringKey::interpolated({"", Arg::integer(120), ""}), "%lld", {std::int64_t{120}}, "120"},
      {"metre",
       LocalizedStringKey::interpolated({Arg::integer(3), "/", Arg::integer(4)}),
       "%lld/%lld",
       {std::int64_t{3}, std::int64_t{4}},
       "3/4"},
      {"name with trailing space",
       LocalizedStringKey::interpolated({"", Arg::string("Let it be"), " "}),
       "%@ ",
       {std::string("Let it be")},
       "Let it be "},
      {"literal percent escaped beside a value",
       LocalizedStringKey::interpolated({"", Arg::integer(50), "% off"}),
       "%lld%% off",
       {std::int64_t{50}},
       "50% off"},
      {"value with percent is no format",
       LocalizedStringKey::interpolated({"", Arg::string("100% %@"), ""}),
       "%@",
       {std::string("100% %@")},
       "100% %@"},
      {"pieces without values are a literal", LocalizedStringKey::interpolated({"50", "%"}), "50%", {}, "50%"},
      {"own integer specifier enters the key",
       LocalizedStringKey::interpolated({Arg::integer(7, "%d")}),
       "%d",
       {std::int64_t{7}},
       "%d"},
      {"negative", LocalizedStringKey::interpolated({Arg::integer(-3)}), "%lld", {std::int64_t{-3}}, "-3"},
  };
  const Localizer noBundle;
  for (const auto& c : cases) {
    EXPECT_EQ(c.key.key(), c.expectedKey) << c.name;
    EXPECT_EQ(c.key.arguments(), c.expectedArguments) << c.name;
    EXPECT_EQ(noBundle.resolve(c.key), c.shown) << c.name;
  }
}

TEST(LocalizedStringKey, InterpolationBuilderMatchesSegmentList) {
  LocalizedStringKey::StringInterpolation interpolation;
  interpolation.appendLiteral("");
  interpolation.appendInterpolation(std::int64_t{4});
  interpolation.appendLiteral("/");
  interpolation.appendInterpolation(std::int64_t{4}, "%lld");
  interpolation.appendLiteral(" ");
  interpolation.appendInterpolation(std::string("Waltz"));
  const LocalizedStringKey built(std::move(interpolation));
  EXPECT_EQ(built,
            LocalizedStringKey::interpolated({"", Arg::integer(4), "/", Arg::integer(4), " ", Arg::string("Waltz")}));
  EXPECT_EQ(built.key(), "%lld/%lld %@");
}

}  // namespace
}  // namespace ui
