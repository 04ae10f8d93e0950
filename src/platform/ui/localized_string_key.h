// LocalizedStringKey: what a localizable text is made of: the key looked up in a
// string table and the values to put into the format found there.
//
// A key is made either from a literal (`LocalizedStringKey("Kadenzo")`; the key is the
// literal) or by interpolation, where literal pieces and values alternate. Then the key
// is the literal pieces, with each '%' doubled, and one placeholder per value: the
// value's specifier for an integer ("%lld" unless given), "%@" for a string. So
// "\(bpm)" has the key "%lld" and the argument bpm; "\(beat)/\(note)" the key
// "%lld/%lld". A key made by interpolation without any value is the same as the
// literal key of its joined pieces.
//
//   auto tempo = LocalizedStringKey::interpolated({"", Arg::integer(bpm), ""});
//   auto name = LocalizedStringKey::interpolated({"", Arg::string(melody.name), " "});
//
// Values and keys are plain data: copyable and comparable.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/ui/string_format.h"

namespace ui {

// One interpolated value and the placeholder it puts into the key.
struct Arg {
  FormatArgument value;
  std::string specifier;

  static Arg integer(std::int64_t value, std::string specifier = "%lld") { return Arg{value, std::move(specifier)}; }
  static Arg string(std::string value) { return Arg{std::move(value), "%@"}; }

  friend bool operator==(const Arg&, const Arg&) = default;
};

class LocalizedStringKey {
 public:
  // The platform's interpolation builder: pieces appended in order.
  class StringInterpolation {
   public:
    void appendLiteral(std::string_view literal);
    void appendInterpolation(std::int64_t value, std::string_view specifier = "%lld");
    void appendInterpolation(std::string value);

   private:
    friend class LocalizedStringKey;
    std::string escapedKey_;  // literals with '%' doubled, and the values' specifiers
    std::string plainKey_;    // the literals alone, as typed
    std::vector<FormatArgument> arguments_;
  };

  // A literal piece, or a value.
  using Segment = std::variant<std::string, Arg>;

  // Implicit from a literal, as the platform's key is: `Text("Kadenzo")`.
  LocalizedStringKey(const char* literal) : key_(literal) {}
  explicit LocalizedStringKey(std::string literal) : key_(std::move(literal)) {}
  explicit LocalizedStringKey(StringInterpolation interpolation);

  static LocalizedStringKey interpolated(std::initializer_list<Segment> segments);

  // The key that an interpolation of `arguments` made as `key` (literal text with '%'
  // doubled, one placeholder per argument: "%@" for a string, "%lld", "%1$lld", "%05d",
  // ... for an integer), as a tree's JSON form carries it; none when `key` is not made
  // so. Without arguments, any key is a literal.
  static std::optional<LocalizedStringKey> rebuilt(std::string_view key, std::span<const FormatArgument> arguments);

  // The text looked up in the string table.
  const std::string& key() const { return key_; }
  // The values to put into the format found, in order of interpolation.
  const std::vector<FormatArgument>& arguments() const { return arguments_; }
  // Whether the found text is a format to fill: only a key with values is; a literal
  // key's text is shown as found, '%' and all.
  bool isFormat() const { return !arguments_.empty(); }

  friend bool operator==(const LocalizedStringKey&, const LocalizedStringKey&) = default;

 private:
  std::string key_;
  std::vector<FormatArgument> arguments_;
};

}  // namespace ui
