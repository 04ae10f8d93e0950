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
      {"literal shown as found", LocalizedStringKey("a %@ b"), "a %@ b", {}, "a %@ b"},
      {"tempo", LocalizedStringKey::interpolated({"", Arg::integer(120), ""}), "%lld", {std::int64_t{120}}, "120"},
      {"metre",
       LocalizedStringKey::interpolated({Arg::integer(3), "/", Arg::integer(4)}),
       "%lld/%lld",
       {std::int64_t{3}, std::int64_t{4}},
       "3/4"},
      {"literal percent escaped beside a value",
       LocalizedStringKey::interpolated({"", Arg::integer(50), "% off"}),
       "%lld%% off",
       {std::int64_t{50}},
       "50% off"},
      {"pieces without values are a literal", LocalizedStringKey::interpolated({"50", "%"}), "50%", {}, "50%"},
      {"own integer specifier enters the key",
       LocalizedStringKey::interpolated({Arg::integer(7, "%d")}),
       "%d",
       {std::int64_t{7}},
       "%d"},
  };
  const Localizer noBundle;
  for (const auto& c : cases) {
    EXPECT_EQ(c.key.key(), c.expectedKey) << c.name;
    EXPECT_EQ(c.key.arguments(), c.expectedArguments) << c.name;
    EXPECT_EQ(noBundle.resolve(c.key), c.shown) << c.name;
  }
}

TEST(LocalizedStringKey, IsRebuiltFromItsKeyAndArguments) {
  using A = std::vector<FormatArgument>;
  const struct {
    std::string key;
    A arguments;
    bool valid;
  } cases[] = {
      {"%lld/%lld", A{std::int64_t{4}, std::int64_t{4}}, true},
      {"100%% of %lld", A{std::int64_t{9}}, true},
      {"%1$lld and %@", A{std::int64_t{1}, std::string("two")}, true},
      {"%05d|%-3ld|%.2lli|%x", A{std::int64_t{1}, std::int64_t{2}, std::int64_t{3}, std::int64_t{4}}, true},
      {"50% off, no values", A{}, true},                                   // a literal key is taken as it is
      {"%1$lld and %2$@", A{std::int64_t{1}, std::string("two")}, false},  // a string enters a key as "%@"
      {"%@", A{std::int64_t{5}}, false},                                   // an integer where the key holds a string
      {"%lld %lld", A{std::int64_t{1}}, false},                            // too few values
      {"50% %lld", A{std::int64_t{1}}, false},                             // a lone '%' in literal text
  };
  for (const auto& c : cases) {
    const auto key = LocalizedStringKey::rebuilt(c.key, c.arguments);
    ASSERT_EQ(key.has_value(), c.valid) << c.key;
    if (key) {
      EXPECT_EQ(key->key(), c.key);
      EXPECT_EQ(key->arguments(), c.arguments);
    }
  }
}

}  // namespace
}  // namespace ui
