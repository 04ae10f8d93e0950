// Localized string keys: the key and arguments an interpolation makes, and a key
// rebuilt from the key and arguments a tree's JSON carries.
#include "platform/ui/localized_string_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "golden/golden.h"
#include "platform/ui/localizer.h"

namespace ui {
namespace {

TEST(LocalizedStringKeyGolden, BuildsKeyAndArguments) {
  const std::pair<const char*, LocalizedStringKey> cases[] = {
      {"literal", LocalizedStringKey("Kadenzo")},
      {"literal shown as found", LocalizedStringKey("a %@ b")},
      {"tempo", LocalizedStringKey::interpolated({"", Arg::integer(120), ""})},
      {"metre", LocalizedStringKey::interpolated({Arg::integer(3), "/", Arg::integer(4)})},
      {"literal percent escaped beside a value", LocalizedStringKey::interpolated({"", Arg::integer(50), "% off"})},
      {"pieces without values are a literal", LocalizedStringKey::interpolated({"50", "%"})},
      {"own integer specifier enters the key", LocalizedStringKey::interpolated({Arg::integer(7, "%d")})},
      {"string values", LocalizedStringKey::interpolated({"\u00AB", Arg::string("Let it be"), "\u00BB "})},
  };
  // Each case's key, its arguments, and what it shows with no bundle: the key with
  // its placeholders filled.
  const Localizer noBundle;
  std::string out;
  for (const auto& [name, key] : cases) {
    out += std::string(name) + "\n  key \"" + key.key() + "\" arguments";
    for (const FormatArgument& argument : key.arguments()) {
      const auto* text = std::get_if<std::string>(&argument);
      out += text ? " \"" + *text + "\"" : " " + std::to_string(std::get<std::int64_t>(argument));
    }
    out += "\n  shown \"" + noBundle.resolve(key) + "\"\n";
  }
  tul::testing::expectGolden("localized-string-keys.txt", out);
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
