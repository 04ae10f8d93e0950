#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"
#include "preset/mini_melody.h"
#include "support/temp_preferences.h"

namespace tul {
namespace {

using foundation::DecodingError;
using Kind = DecodingError::Kind;

constexpr const char* kValid =
    R"({"isPlaylingList":true,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":96,"note":4,"beat":3,)"
    R"("subdivision":"0","acc":"2000","name":"Waltz","rythmMode":1,"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"})";

std::expected<MiniMelody, DecodingError> decode(std::string_view json) {
  return foundation::JSONDecoder().decode<MiniMelody>(json);
}

// The valid preset with one member replaced by raw JSON (or removed when `value` is empty).
std::string withMember(const std::string& key, const std::string& value) {
  auto object = nlohmann::ordered_json::parse(kValid);
  object.erase(key);
  std::string text = object.dump();
  if (value.empty()) return text;
  text.pop_back();
  return text + ",\"" + key + "\":" + value + "}";
}

TEST(MiniMelodyJSON, DecodesEveryMember) {
  auto melody = decode(kValid);
  ASSERT_TRUE(melody) << melody.error().description();
  EXPECT_TRUE(melody->isPlaylingList);
  EXPECT_EQ(melody->bpm, 96);
  EXPECT_EQ(melody->beat, 3);
  EXPECT_EQ(melody->name, "Waltz");
  EXPECT_EQ(melody->rythmMode, MiniMelody::RhythmMode::beatBased);
  EXPECT_EQ(melody->id.uuidString(), "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
  EXPECT_EQ(melody->identity(), melody->id);
}

TEST(MiniMelodyJSON, EncodesAllMembersCompactlyInFieldOrder) {
  MiniMelody melody = *decode(kValid);
  melody.subdivision = "";
  melody.name = "tab\there \"quoted\" \x01";
  auto text = foundation::JSONEncoder().encodeToString(melody);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text,
            R"({"isPlaylingList":true,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":96,"note":4,"beat":3,)"
            R"("subdivision":"","acc":"2000","name":"tab\there \"quoted\" \u0001","rythmMode":1,)"
            R"("id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"})");
}

TEST(MiniMelodyJSON, RoundTripsDefaultAndExtremes) {
  const auto kMin = std::numeric_limits<std::int64_t>::min();
  const auto kMax = std::numeric_limits<std::int64_t>::max();
  MiniMelody extreme = MiniMelody::defaultMelody();
  extreme.poly1 = kMin;
  extreme.bpm = kMax;
  extreme.bars = 0;
  extreme.note = -7;
  extreme.name = "Ünïcödé 🎵";
  extreme.rythmMode = MiniMelody::RhythmMode::barBased;
  for (const MiniMelody& melody : {MiniMelody::defaultMelody(), extreme}) {
    auto data = foundation::JSONEncoder().encode(melody);
    ASSERT_TRUE(data);
    auto back = foundation::JSONDecoder().decode<MiniMelody>(*data);
    ASSERT_TRUE(back) << back.error().description();
    EXPECT_EQ(*back, melody);
    EXPECT_EQ(back->bpm, melody.bpm);
    EXPECT_EQ(back->poly1, melody.poly1);
  }
}

TEST(MiniMelodyJSON, EncodingRefusesTextThatIsNotUTF8) {
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.acc = "\xff";
  auto data = foundation::JSONEncoder().encode(melody);
  ASSERT_FALSE(data);
  EXPECT_EQ(data.error().codingPath, std::vector<std::string>{"acc"});
}

TEST(MiniMelodyJSON, FailingCasesNameTheMemberAndReason) {
  const struct {
    std::string json;
    Kind kind;
    std::vector<std::string> path;
  } cases[] = {
      {"", Kind::dataCorrupted, {}},
      {"not json", Kind::dataCorrupted, {}},
      {"[1,2]", Kind::typeMismatch, {}},
      {"\"text\"", Kind::typeMismatch, {}},
      {withMember("id", ""), Kind::keyNotFound, {"id"}},
      {withMember("isPlaylingList", ""), Kind::keyNotFound, {"isPlaylingList"}},
      {withMember("bpm", "null"), Kind::valueNotFound, {"bpm"}},
      {withMember("name", "null"), Kind::valueNotFound, {"name"}},
      {withMember("isPlaylingList", "0"), Kind::typeMismatch, {"isPlaylingList"}},
      {withMember("isPlaylingList", "\"true\""), Kind::typeMismatch, {"isPlaylingList"}},
      {withMember("bpm", "\"120\""), Kind::typeMismatch, {"bpm"}},
      {withMember("bpm", "true"), Kind::typeMismatch, {"bpm"}},
      {withMember("name", "5"), Kind::typeMismatch, {"name"}},
      {withMember("acc", "[]"), Kind::typeMismatch, {"acc"}},
      {withMember("rythmMode", "3"), Kind::dataCorrupted, {"rythmMode"}},
      {withMember("rythmMode", "-1"), Kind::dataCorrupted, {"rythmMode"}},
      {withMember("rythmMode", "\"1\""), Kind::typeMismatch, {"rythmMode"}},
      {withMember("id", "\"not-a-uuid\""), Kind::dataCorrupted, {"id"}},
      {withMember("id", "\"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}\""), Kind::dataCorrupted, {"id"}},
      {withMember("id", "\"0A1B2C3D4E5F4A6B8C7D9E0F1A2B3C4D\""), Kind::dataCorrupted, {"id"}},
      {withMember("id", "42"), Kind::typeMismatch, {"id"}},
      {std::string(kValid) + "x", Kind::dataCorrupted, {}},
      {std::string(kValid).insert(std::string(kValid).size() - 1, ","), Kind::dataCorrupted, {}},
  };
  for (const auto& c : cases) {
    auto result = decode(c.json);
    ASSERT_FALSE(result) << c.json;
    EXPECT_EQ(result.error().kind, c.kind) << c.json << " -> " << result.error().description();
    EXPECT_EQ(result.error().codingPath, c.path) << c.json;
    EXPECT_FALSE(result.error().debugDescription.empty());
  }
}

TEST(MiniMelodyJSON, StopsAtTheFirstFailingMemberInFieldOrder) {
  // Both "poly2" and "name" are wrong; "poly2" comes first in field order.
  auto object = nlohmann::ordered_json::parse(kValid);
  object["name"] = 1;
  object["poly2"] = "x";
  auto result = decode(object.dump());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().codingPath, std::vector<std::string>{"poly2"});
}

TEST(MiniMelodyJSON, IntegersAcceptExactValuesOnly) {
  const struct {
    std::string number;
    std::optional<std::int64_t> value;
  } cases[] = {
      {"120", 120},
      {"-0", 0},
      {"0.0", 0},
      {"1.0", 1},
      {"1e2", 100},
      {"1E+2", 100},
      {"12.50e1", 125},
      {"-4.0", -4},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775807.0", std::numeric_limits<std::int64_t>::max()},
      {"9223372036854775806.0", std::numeric_limits<std::int64_t>::max() - 1},
      {"9223372036854775808", std::nullopt},
      {"-9223372036854775809", std::nullopt},
      {"9.223372036854775808e18", std::nullopt},
      {"1.5", std::nullopt},
      {"1e-1", std::nullopt},
      {"1.0000000000000000001", std::nullopt},
      {"1e20", std::nullopt},
  };
  for (const auto& c : cases) {
    auto result = decode(withMember("bpm", c.number));
    if (c.value) {
      ASSERT_TRUE(result) << c.number << ": " << result.error().description();
      EXPECT_EQ(result->bpm, *c.value) << c.number;
    } else {
      ASSERT_FALSE(result) << c.number << " decoded as " << result->bpm;
    }
  }
}

TEST(MiniMelodyJSON, MembersAreFoundByExactNameInAnyOrder) {
  auto object = nlohmann::ordered_json::parse(kValid);
  nlohmann::ordered_json reversed = nlohmann::ordered_json::object();
  std::vector<std::pair<std::string, nlohmann::ordered_json>> members;
  for (const auto& item : object.items()) members.emplace_back(item.key(), item.value());
  for (auto it = members.rbegin(); it != members.rend(); ++it) reversed[it->first] = it->second;
  auto fromReversed = decode(reversed.dump());
  ASSERT_TRUE(fromReversed);
  EXPECT_EQ(*fromReversed, *decode(kValid));

  // Extra members are ignored, and dropped when the record is written again.
  auto extra = object;
  extra["tempo"] = 300;
  extra["BPM"] = 1;
  extra["nested"] = nlohmann::ordered_json::parse(R"({"a":[1,{"b":null}]})");
  auto fromExtra = decode(extra.dump());
  ASSERT_TRUE(fromExtra);
  EXPECT_EQ(fromExtra->bpm, 96);
  EXPECT_EQ(*foundation::JSONEncoder().encodeToString(*fromExtra), object.dump());

  // A name that differs in letter case is another member: "bpm" is then missing.
  auto renamed = object;
  renamed.erase("bpm");
  renamed["Bpm"] = 96;
  auto fromRenamed = decode(renamed.dump());
  ASSERT_FALSE(fromRenamed);
  EXPECT_EQ(fromRenamed.error().kind, Kind::keyNotFound);

  // A name given twice: the first occurrence counts.
  std::string twice = std::string(kValid);
  twice.insert(1, R"("bpm":61,)");
  auto fromTwice = decode(twice);
  ASSERT_TRUE(fromTwice);
  EXPECT_EQ(fromTwice->bpm, 61);
}

TEST(MiniMelodyJSON, WholeDocumentIsValidatedAlsoInIgnoredMembers) {
  const std::string bad[] = {
      withMember("extra", "\"\\uD800\""),          // lone surrogate escape
      withMember("extra", "\"\xC3\x28\""),          // invalid UTF-8
      withMember("extra", "[1,]"),                  // trailing comma
      withMember("extra", std::string(513, '[') + std::string(513, ']')),  // too deep
  };
  for (const auto& json : bad) {
    auto result = decode(json);
    ASSERT_FALSE(result) << json.substr(0, 200);
    EXPECT_EQ(result.error().kind, Kind::dataCorrupted);
  }
  EXPECT_TRUE(decode(withMember("extra", std::string(500, '[') + std::string(500, ']'))));
  EXPECT_TRUE(decode(std::string("\xEF\xBB\xBF") + kValid)) << "a byte-order mark is skipped";
  EXPECT_TRUE(decode(std::string(" \n\t") + kValid + "\n "));
}

TEST(MiniMelodyJSON, ConformanceCorpusAsTheValueOfAnUnknownMember) {
  const std::filesystem::path corpus = std::filesystem::path(TUL_SHARED_TESTDATA) / "json-minefield";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no conformance corpus beside the project";
  int checked = 0;
  for (const auto& file : std::filesystem::directory_iterator(corpus)) {
    const std::string name = file.path().filename().string();
    if (file.path().extension() != ".json") continue;
    const std::string text = testing::readFile(file.path());
    if (name.starts_with("n_")) {
      EXPECT_FALSE(decode(text)) << name;
      std::string asMember = kValid;
      asMember.insert(asMember.size() - 1, ",\"extra\":" + text);
      EXPECT_FALSE(decode(asMember)) << name << " as a member value";
      ++checked;
    } else if (name.starts_with("y_")) {
      auto result = decode(withMember("extra", text));
      EXPECT_TRUE(result) << name << ": " << (result ? "" : result.error().description());
      ++checked;
    }
  }
  EXPECT_GT(checked, 200);
}

TEST(MiniMelodyEquality, ComparesAllFieldsAndTextsByCanonicalEquivalence) {
  const MiniMelody base = *decode(kValid);
  MiniMelody composed = base, decomposed = base;
  composed.name = "Caf\xC3\xA9";     // é precomposed
  decomposed.name = "Cafe\xCC\x81";  // e + combining acute
  EXPECT_EQ(composed, decomposed);
  EXPECT_EQ(foundation::hashValue(composed), foundation::hashValue(decomposed));
  EXPECT_EQ(foundation::hashValue(composed, 99), foundation::hashValue(decomposed, 99));

  MiniMelody otherId = base;
  otherId.id = foundation::UUID::random();
  EXPECT_NE(otherId, base);
  MiniMelody otherMode = base;
  otherMode.rythmMode = MiniMelody::RhythmMode::none;
  EXPECT_NE(otherMode, base);
  MiniMelody otherFlag = base;
  otherFlag.isPlaylingList = false;
  EXPECT_NE(otherFlag, base);
  EXPECT_NE(foundation::hashValue(otherFlag), foundation::hashValue(base));

  // Texts are fed separately: moving a character from one text to the next changes the hash.
  MiniMelody shifted = base, unshifted = base;
  shifted.subdivision = "01";
  shifted.acc = "";
  unshifted.subdivision = "0";
  unshifted.acc = "1";
  EXPECT_NE(foundation::hashValue(shifted), foundation::hashValue(unshifted));
}

TEST(MiniMelodyKeys, ConvertByExactTextOnly) {
  using K = MiniMelody::CodingKeys;
  EXPECT_EQ(foundation::stringValue(K::isPlaylingList), "isPlaylingList");
  EXPECT_EQ(foundation::stringValue(K::rythmMode), "rythmMode");
  EXPECT_EQ(foundation::codingKeyFromString<K>("id"), K::id);
  EXPECT_EQ(foundation::codingKeyFromString<K>("polyBar"), K::polyBar);
  for (auto text : {"ID", "isPlayingList", "rhythmMode", "", "bpm "}) {
    EXPECT_FALSE(foundation::codingKeyFromString<K>(text)) << text;
  }
  EXPECT_FALSE(foundation::intValue(K::bpm));
  EXPECT_FALSE(foundation::codingKeyFromInt<K>(5));
  EXPECT_FALSE(foundation::codingKeyFromInt<K>(0));
}

TEST(MiniMelodyRhythmMode, RawValues) {
  EXPECT_EQ(rhythmModeFromRawValue(0), MiniMelody::RhythmMode::none);
  EXPECT_EQ(rhythmModeFromRawValue(1), MiniMelody::RhythmMode::beatBased);
  EXPECT_EQ(rhythmModeFromRawValue(2), MiniMelody::RhythmMode::barBased);
  for (std::int64_t raw : {std::int64_t{-1}, std::int64_t{3}, std::numeric_limits<std::int64_t>::min()}) {
    EXPECT_FALSE(rhythmModeFromRawValue(raw)) << raw;
  }
  EXPECT_EQ(rawValue(MiniMelody::RhythmMode::barBased), 2);
}

}  // namespace
}  // namespace tul
