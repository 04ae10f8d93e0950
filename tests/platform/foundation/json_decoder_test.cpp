#include "platform/foundation/json_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace foundation {
namespace {

using Kind = DecodingError::Kind;

enum class CountKey { count };
// Names of every length class the member look-up compares differently.
enum class NameKey { a, ab, abc, abcd, abcdefg, abcdefgh, abcdefghi, p15, p16, p17, p25 };
enum class EnvelopeKey { inner, label };

}  // namespace

template <>
struct CodingKeyNames<CountKey> {
  static constexpr std::array<std::string_view, 1> names = {"count"};
};

template <>
struct CodingKeyNames<NameKey> {
  static constexpr std::array<std::string_view, 11> names = {
      "a",
      "ab",
      "abc",
      "abcd",
      "abcdefg",
      "abcdefgh",
      "abcdefghi",
      "fifteen-letters",
      "sixteen-letters!",
      "seventeen-letters",
      "twenty-five-letters-long!",
  };
};

template <>
struct CodingKeyNames<EnvelopeKey> {
  static constexpr std::array<std::string_view, 2> names = {"inner", "label"};
};

namespace {

// A record with one integer member.
struct Count {
  std::int64_t count;

  static std::expected<Count, DecodingError> decode(const Decoder& decoder) {
    auto c = decoder.container<CountKey>();
    if (!c) return std::unexpected(c.error());
    auto count = c->decodeInt64(CountKey::count);
    if (!count) return std::unexpected(count.error());
    return Count{*count};
  }
};

// A record that reads one boolean per name.
struct Names {
  static std::expected<Names, DecodingError> decode(const Decoder& decoder) {
    auto c = decoder.container<NameKey>();
    if (!c) return std::unexpected(c.error());
    for (std::size_t key = 0; key < CodingKeyNames<NameKey>::names.size(); ++key) {
      auto value = c->decodeBool(static_cast<NameKey>(key));
      if (!value) return std::unexpected(value.error());
    }
    return Names{};
  }
};

// A record whose member holds another document, decoded while the outer one is open.
struct Envelope {
  std::int64_t innerCount;
  std::string label;

  static std::expected<Envelope, DecodingError> decode(const Decoder& decoder) {
    auto c = decoder.container<EnvelopeKey>();
    if (!c) return std::unexpected(c.error());
    auto inner = c->decodeString(EnvelopeKey::inner);
    if (!inner) return std::unexpected(inner.error());
    auto count = JSONDecoder().decode<Count>(*inner);
    if (!count) return std::unexpected(count.error());
    auto label = c->decodeString(EnvelopeKey::label);
    if (!label) return std::unexpected(label.error());
    return Envelope{count->count, std::move(*label)};
  }
};

// Numbers with a fraction or an exponent are read from their own text, found by the
// member's place in the object: after other members, under an escaped name, or when
// the name is given again.
TEST(JSONDecoder, IntegersWithAFractionOrExponentComeFromTheMembersOwnText) {
  const struct {
    std::string json;
    std::optional<std::int64_t> count;
  } cases[] = {
      {R"({"count":9007199254740993.0})", 9007199254740993},  // a double would hold ...992
      {R"({"count":-9223372036854775808.0})", std::numeric_limits<std::int64_t>::min()},
      {R"({"count":4503599627370495.5})", std::nullopt},  // a double would hold ...496
      {R"({"other":[1.5,{"count":7.0}],"count":3e1})", 30},
      {R"({"c\u006Funt":1e2})", 100},
      {R"({"c\u006Funt":61.0,"count":96})", 61},
      {R"({"count":2.0,"count":3.0})", 2},
      {R"({"count":96,"count":3.5})", 96},
  };
  for (const auto& c : cases) {
    auto result = JSONDecoder().decode<Count>(c.json);
    if (c.count) {
      ASSERT_TRUE(result) << c.json << ": " << result.error().description();
      EXPECT_EQ(result->count, *c.count) << c.json;
    } else {
      ASSERT_FALSE(result) << c.json << " decoded as " << result->count;
      EXPECT_EQ(result.error().kind, Kind::dataCorrupted);
      EXPECT_NE(result.error().debugDescription.find("4503599627370495.5"), std::string::npos)
          << result.error().debugDescription;
    }
  }
}

// Every byte of a name counts, whatever its length.
TEST(JSONDecoder, NamesDifferingInAnyOneByteAreOtherMembers) {
  const auto& names = CodingKeyNames<NameKey>::names;
  const auto document = [&](std::size_t changed, std::size_t at) {
    std::string json = "{";
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string name(names[i]);
      if (i == changed) name[at] = name[at] == 'x' ? 'y' : 'x';
      json += (i > 0 ? ",\"" : "\"") + name + "\":true";
    }
    return json + "}";
  };
  ASSERT_TRUE(JSONDecoder().decode<Names>(document(names.size(), 0)));
  for (std::size_t key = 0; key < names.size(); ++key) {
    for (std::size_t at = 0; at < names[key].size(); ++at) {
      auto result = JSONDecoder().decode<Names>(document(key, at));
      ASSERT_FALSE(result) << document(key, at);
      EXPECT_EQ(result.error().kind, Kind::keyNotFound);
      EXPECT_EQ(result.error().codingPath, std::vector<std::string>{std::string(names[key])});
    }
  }
}

// A decode started inside another on the same thread leaves the outer parse intact.
TEST(JSONDecoder, DecodeInsideADecodeKeepsTheOuterDocument) {
  // The label comes first, where the inner parse would overwrite it on a shared parser.
  const std::string json = R"({"label":"outer label, read after the inner decode","inner":"{\"count\":12,\"pad\":\")" +
                           std::string(300, 'z') + R"(\"}"})";
  for (int round = 0; round < 2; ++round) {
    auto result = JSONDecoder().decode<Envelope>(json);
    ASSERT_TRUE(result) << result.error().description();
    EXPECT_EQ(result->innerCount, 12);
    EXPECT_EQ(result->label, "outer label, read after the inner decode");
  }
  auto failing = JSONDecoder().decode<Envelope>(R"({"inner":"{\"count\":true}","label":"x"})");
  ASSERT_FALSE(failing);
  EXPECT_EQ(failing.error().kind, Kind::typeMismatch);
  EXPECT_TRUE(JSONDecoder().decode<Count>(R"({"count":1})")) << "the thread's parser is free again";
}

}  // namespace
}  // namespace foundation
