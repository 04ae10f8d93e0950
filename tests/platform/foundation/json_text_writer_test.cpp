// The answer writer's text is read by other programs' JSON parsers: each case is
// checked as exact text or by parsing the text back with nlohmann::json, strictly.
#include "platform/foundation/json_text_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

using foundation::JSONTextWriter;
using Json = nlohmann::json;

Json parsed(const JSONTextWriter& out) { return Json::parse(out.text()); }

// How containers nest, where commas go, and clear(), newline() and release() are the
// protocol's: every answer in tests/golden/json-rpc-answers.txt and widget-host's goldens.

// Each string's whole text: the escapes JSON requires (and no others), text that is
// UTF-8 kept as it is, and each byte that is not UTF-8 shown as U+FFFD.
TEST(JSONTextWriter, EscapesWhatJSONRequiresAndReplacesBytesThatAreNotUTF8) {
  std::string controls;
  for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
  const std::pair<std::string, std::string> cases[] = {
      {controls + "\"\\/\x7f",
       R"("\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r\u000e\u000f\u0010\u0011\u0012\u0013)"
       R"(\u0014\u0015\u0016\u0017\u0018\u0019\u001a\u001b\u001c\u001d\u001e\u001f\"\\/)"
       "\x7f\""},
      {"Étude für Bossa – Tag 3 🎵", "\"Étude für Bossa – Tag 3 🎵\""},
      {"", R"("")"},
      {"a\x80z", "\"a\uFFFDz\""},                            // a lone continuation byte
      {"ok\xE2\x82", "\"ok\uFFFD\uFFFD\""},                  // a sequence cut off at the end
      {"\xC0\x80", "\"\uFFFD\uFFFD\""},                      // an overlong NUL
      {"\xED\xA0\x80", "\"\uFFFD\uFFFD\uFFFD\""},            // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", "\"\uFFFD\uFFFD\uFFFD\uFFFD\""},  // past U+10FFFF
      {"\xFF\"", "\"\uFFFD\\\"\""},                          // an invalid byte before a quote
  };
  for (const auto& [bytes, text] : cases) {
    JSONTextWriter out;
    out.string(bytes);
    EXPECT_EQ(out.text(), text);
    EXPECT_NO_THROW((void)parsed(out)) << out.text();
  }
}

TEST(JSONTextWriter, FindsEveryByteToEscapeWhereverItStands) {
  // Plain text is checked and copied eight bytes at a time, the last word overlapping
  // the one before: each special byte is tried at every offset of strings shorter than
  // a word, of whole words, and of words with a tail.
  for (const std::string special : {"\"", "\\", "\x01", "\x1f", "\xC3\xA9", "\xFF"}) {
    for (const std::size_t length : {0UZ, 3UZ, 7UZ, 8UZ, 12UZ, 16UZ, 20UZ}) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string text(length, 'a');
        text.insert(at, special);
        JSONTextWriter out;
        out.beginArray();
        out.string("before");
        out.string(text);
        out.endArray();
        Json read;
        ASSERT_NO_THROW(read = parsed(out)) << out.text();
        const std::string expected = special == "\xFF" ? std::string(text).replace(at, 1, "\uFFFD") : text;
        EXPECT_EQ(read, Json::array({"before", expected})) << "special byte at " << at << " of " << length;
      }
    }
  }
}

TEST(JSONTextWriter, NumbersReadBackExactly) {
  const double doubles[] = {
      0.6, 1.0, -2.0, 0.1 + 0.2, 1e300, 5e-324, -1.5e-7, std::numeric_limits<double>::max(), 9007199254740993.0};
  for (const double value : doubles) {
    JSONTextWriter out;
    out.number(value);
    const Json read = parsed(out);
    EXPECT_TRUE(read.is_number_float()) << out.text() << " reads back as a floating-point number";
    EXPECT_EQ(read.get<double>(), value) << out.text();
  }
  // Whole values take a shortcut; the text must stay the shortest form either way.
  const std::pair<double, std::string_view> forms[] = {
      {0.0, "0.0"},           {-0.0, "-0.0"},         {1.0, "1.0"},        {-7.0, "-7.0"},
      {99999.0, "99999.0"},   {-99999.0, "-99999.0"}, {100000.0, "1e+05"}, {1e6, "1e+06"},
      {123456.0, "123456.0"}, {0.5, "0.5"},           {99999.5, "99999.5"}};
  for (const auto& [value, text] : forms) {
    JSONTextWriter out;
    out.number(value);
    EXPECT_EQ(out.text(), text);
  }
  JSONTextWriter out;
  out.beginArray();
  out.integer(std::numeric_limits<std::int64_t>::min());
  out.unsignedInteger(std::numeric_limits<std::uint64_t>::max());
  out.number(std::nan(""));
  out.number(-std::numeric_limits<double>::infinity());
  out.endArray();
  EXPECT_EQ(out.text(), "[-9223372036854775808,18446744073709551615,null,null]");
}

}  // namespace
