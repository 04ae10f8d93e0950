#include "platform/foundation/json_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "golden/golden.h"
#include "support/files.h"

namespace foundation {
namespace {

using Kind = DecodingError::Kind;

// Names of every length class the member look-up compares differently.
enum class NameKey { a, ab, abc, abcd, abcdefg, abcdefgh, abcdefghi, p15, p16, p17, p25 };
enum class EnvelopeKey { inner, label };
enum class SampleKey { flag, count, text, id };

}  // namespace

template <>
struct CodingKeyNames<NameKey> {
  static constexpr auto names =
      std::to_array<std::string_view>({"a", "ab", "abc", "abcd", "abcdefg", "abcdefgh", "abcdefghi", "fifteen-letters",
                                       "sixteen-letters!", "seventeen-letters", "twenty-five-letters-long!"});
};

template <>
struct CodingKeyNames<SampleKey> {
  static constexpr std::array<std::string_view, 4> names = {"flag", "count", "text", "id"};
};

template <>
struct CodingKeyNames<EnvelopeKey> {
  static constexpr std::array<std::string_view, 2> names = {"inner", "label"};
};

namespace {

// A record with a member of each type, read in field order.
struct Sample {
  bool flag;
  std::int64_t count;
  std::string text;
  UUID id;

  static std::expected<Sample, DecodingError> decode(const Decoder& decoder) {
    auto c = decoder.container<SampleKey>();
    if (!c) return std::unexpected(c.error());
    return recordOf<Sample>(c->decodeBool(SampleKey::flag), c->decodeInt64(SampleKey::count),
                            c->decodeString(SampleKey::text), c->decodeUUID(SampleKey::id));
  }
};

// The sample document, with member `key` given as the raw JSON `value` instead (left
// out when `value` is empty, added last when the sample has no such member).
std::string sample(std::string_view key = "", std::string_view value = "") {
  std::vector<std::pair<std::string_view, std::string_view>> members = {
      {"flag", "true"}, {"count", "96"}, {"text", R"("x")"}, {"id", R"("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D")"}};
  const auto found = std::ranges::find(members, key, &std::pair<std::string_view, std::string_view>::first);
  if (found == members.end()) {
    members.emplace_back(key, value);
  } else {
    found->second = value;
  }
  std::string json;
  for (const auto& [name, raw] : members) {
    if (!name.empty() && !raw.empty())
      json += (json.empty() ? "{\"" : ",\"") + std::string(name) + "\":" + std::string(raw);
  }
  return json + "}";
}

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
    auto sampled = JSONDecoder().decode<Sample>(*inner);
    if (!sampled) return std::unexpected(sampled.error());
    auto label = c->decodeString(EnvelopeKey::label);
    if (!label) return std::unexpected(label.error());
    return Envelope{sampled->count, std::move(*label)};
  }
};

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
  const auto quoted = [](const std::string& text) { return nlohmann::json(text).dump(); };
  const std::string json = R"({"label":"outer label, read after the inner decode","inner":)" +
                           quoted(sample("text", quoted(std::string(300, 'z')))) + "}";
  for (int round = 0; round < 2; ++round) {
    auto result = JSONDecoder().decode<Envelope>(json);
    ASSERT_TRUE(result) << result.error().description();
    EXPECT_EQ(result->innerCount, 96);
    EXPECT_EQ(result->label, "outer label, read after the inner decode");
  }
  auto failing = JSONDecoder().decode<Envelope>(R"({"inner":)" + quoted(sample("count", "true")) + R"(,"label":"x"})");
  ASSERT_FALSE(failing);
  EXPECT_EQ(failing.error().kind, Kind::typeMismatch);
  EXPECT_TRUE(JSONDecoder().decode<Sample>(sample())) << "the thread's parser is free again";
}

// How each member type reads, and how a failure names the member and the reason: each
// document in tests/golden/json-decoder-members.txt (the lines that are neither "# "
// comments nor "  -> " results) is decoded, and the file made again with the results.
TEST(JSONDecoderGolden, MembersReadByTheirTypesRules) {
  std::istringstream listed(tul::testing::readFile(tul::testing::goldenFile("json-decoder-members.txt")));
  std::string shown;
  int documents = 0;
  for (std::string line; std::getline(listed, line);) {
    if (line.starts_with("  -> ")) continue;
    shown += line + "\n";
    if (line.starts_with("#")) continue;
    const auto result = JSONDecoder().decode<Sample>(line);
    shown += "  -> " + (result ? "count " + std::to_string(result->count) : result.error().description()) + "\n";
    ++documents;
  }
  EXPECT_GE(documents, 39);
  tul::testing::expectGolden("json-decoder-members.txt", shown);
}

// The whole document is valid JSON, also inside members no record reads (with the
// conformance corpus below for what JSON is not).
TEST(JSONDecoder, TheWholeDocumentIsValidated) {
  const struct {
    std::string json;
    std::optional<Kind> failure;
  } cases[] = {
      {"", Kind::dataCorrupted},
      {"not json", Kind::dataCorrupted},
      {sample() + "x", Kind::dataCorrupted},
      {"[1,2]", Kind::typeMismatch},
      {R"("text")", Kind::typeMismatch},
      {sample("extra", R"("\uD800")"), Kind::dataCorrupted},   // a lone surrogate escape
      {sample("extra", "\"\xC3\x28\""), Kind::dataCorrupted},  // not UTF-8
      {sample("extra", std::string(513, '[') + std::string(513, ']')), Kind::dataCorrupted},
      {sample("extra", std::string(500, '[') + std::string(500, ']')), std::nullopt},
      {"\xEF\xBB\xBF" + sample(), std::nullopt},  // a byte-order mark is skipped
      {" \n\t" + sample() + "\n ", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto result = JSONDecoder().decode<Sample>(c.json);
    if (!c.failure) {
      EXPECT_TRUE(result) << c.json.substr(0, 100) << ": " << result.error().description();
    } else {
      ASSERT_FALSE(result) << c.json.substr(0, 100);
      EXPECT_EQ(result.error().kind, *c.failure) << c.json.substr(0, 100);
    }
  }
}

TEST(JSONDecoder, ConformanceCorpusAloneAndAsTheValueOfAnUnknownMember) {
  const std::filesystem::path corpus = std::filesystem::path(TUL_SHARED_TESTDATA) / "json-minefield";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no conformance corpus beside the project";
  int checked = 0;
  for (const auto& file : std::filesystem::directory_iterator(corpus)) {
    const std::string name = file.path().filename().string();
    if (file.path().extension() != ".json" || !(name.starts_with("n_") || name.starts_with("y_"))) continue;
    std::ifstream in(file.path(), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (name.starts_with("n_")) {
      EXPECT_FALSE(JSONDecoder().decode<Sample>(text)) << name;
    }
    std::string asMember = sample();
    asMember.insert(asMember.size() - 1, ",\"extra\":" + text);
    EXPECT_EQ(JSONDecoder().decode<Sample>(asMember).has_value(), name.starts_with("y_")) << name;
    ++checked;
  }
  EXPECT_GT(checked, 200);
}

}  // namespace
}  // namespace foundation
