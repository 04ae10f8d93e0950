// MiniMelody's own coding: its member names (misspellings included) and order, its
// rhythm modes, the order in which it reads its members, and its equality and hash.
// The JSON reading rules every record shares are the decoder's tests.
#include "preset/mini_melody.h"

#include <gtest/gtest.h>

#include <limits>

namespace tul {
namespace {

using foundation::DecodingError;

// Every member holding a value that tells it apart, in the field order it is written.
constexpr std::string_view kStored =
    R"({"isPlaylingList":true,"poly1":-9223372036854775808,"poly2":2,"polyBar":3,"bars":9223372036854775807,)"
    R"("bpm":96,"note":8,"beat":3,"subdivision":"","acc":"2000","name":"tab\there \"quoted\" \u0001 Ünï 🎵",)"
    R"("rythmMode":2,"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"})";

std::expected<MiniMelody, DecodingError> decode(std::string_view json) {
  return foundation::JSONDecoder().decode<MiniMelody>(json);
}

TEST(MiniMelodyCoding, ReadsEveryMemberAndWritesThemBackInFieldOrder) {
  const auto melody = decode(kStored);
  ASSERT_TRUE(melody) << melody.error().description();
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min(), kMax = std::numeric_limits<std::int64_t>::max();
  const auto id = *foundation::UUID::parse("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
  const MiniMelody expected{
      true, kMin, 2, 3, kMax, 96, 8, 3, "", "2000", "tab\there \"quoted\" \x01 Ünï 🎵", MiniMelody::RhythmMode::barBased,
      id};
  EXPECT_EQ(*melody, expected);
  EXPECT_EQ(melody->identity(), expected.id);
  EXPECT_EQ(foundation::JSONEncoder().encodeToString(*melody), kStored);

  MiniMelody notText = expected;
  notText.acc = "\xff";
  const auto refused = foundation::JSONEncoder().encode(notText);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().codingPath, std::vector<std::string>{"acc"});
}

// The rhythm mode is one of three numbers; the members are read in field order, so
// that of two wrong members ("poly2" and "beat") the first one is named.
TEST(MiniMelodyCoding, RhythmModesAndTheFirstFailingMemberInFieldOrder) {
  const auto with = [](std::string_view member, std::string_view raw, std::string json = std::string(kStored)) {
    const std::size_t at = json.find("\"" + std::string(member) + "\":") + member.size() + 3;
    return json.replace(at, json.find_first_of(",}", at) - at, raw);
  };
  EXPECT_EQ(decode(with("rythmMode", "0"))->rythmMode, MiniMelody::RhythmMode::none);
  EXPECT_EQ(decode(with("rythmMode", "1"))->rythmMode, MiniMelody::RhythmMode::beatBased);
  for (const std::string& json :
       {with("rythmMode", "3"), with("rythmMode", "-1"), with("beat", "\"3\"", with("poly2", "0.5"))}) {
    const auto result = decode(json);
    ASSERT_FALSE(result) << json;
    EXPECT_EQ(result.error().kind, DecodingError::Kind::dataCorrupted) << result.error().description();
    EXPECT_EQ(result.error().codingPath.at(0), json.find("0.5") == std::string::npos ? "rythmMode" : "poly2");
  }
}

TEST(MiniMelodyEquality, ComparesAllFieldsAndTextsByCanonicalEquivalence) {
  const MiniMelody base = *decode(kStored);
  MiniMelody composed = base, decomposed = base;
  composed.name = "Caf\xC3\xA9";     // é precomposed
  decomposed.name = "Cafe\xCC\x81";  // e + combining acute
  EXPECT_EQ(composed, decomposed);
  EXPECT_EQ(foundation::hashValue(composed, 99), foundation::hashValue(decomposed, 99));

  MiniMelody otherId = base, otherMode = base, otherFlag = base;
  otherId.id = foundation::UUID::random();
  otherMode.rythmMode = MiniMelody::RhythmMode::none;
  otherFlag.isPlaylingList = false;
  for (const MiniMelody& other : {otherId, otherMode, otherFlag}) {
    EXPECT_NE(other, base);
    EXPECT_NE(foundation::hashValue(other), foundation::hashValue(base));
  }
  // Texts are fed separately: moving a character from one text to the next changes the hash.
  MiniMelody shifted = base, unshifted = base;
  shifted.subdivision = "01";
  shifted.acc = "";
  unshifted.subdivision = "0";
  unshifted.acc = "1";
  EXPECT_NE(foundation::hashValue(shifted), foundation::hashValue(unshifted));
}

}  // namespace
}  // namespace tul
