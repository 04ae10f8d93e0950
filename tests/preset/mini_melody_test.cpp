// MiniMelody's own coding: its member names (misspellings included) and order, its
// rhythm modes, the order in which it reads its members, and its equality and hash.
// The JSON reading rules every record shares are the decoder's tests.
#include "preset/mini_melody.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"

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
  const MiniMelody expected{true,
                            std::numeric_limits<std::int64_t>::min(),
                            2,
                            3,
                            std::numeric_limits<std::int64_t>::max(),
                            96,
                            8,
                            3,
                            "",
                            "2000",
                            "tab\there \"quoted\" \x01 Ünï 🎵",
                            MiniMelody::RhythmMode::barBased,
                            *foundation::UUID::parse("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D")};
  EXPECT_EQ(*melody, expected);
  EXPECT_EQ(melody->identity(), expected.id);
  EXPECT_EQ(foundation::JSONEncoder().encodeToString(*melody), kStored);

  MiniMelody notText = expected;
  notText.acc = "\xff";
  const auto refused = foundation::JSONEncoder().encode(notText);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().codingPath, std::vector<std::string>{"acc"});
}

TEST(MiniMelodyCoding, RhythmModesAndTheFirstFailingMemberInFieldOrder) {
  const auto with = [](std::string_view member, std::string_view raw, std::string json = std::string(kStored)) {
    const std::size_t at = json.find("\"" + std::string(member) + "\":") + member.size() + 3;
    return json.replace(at, json.find_first_of(",}", at) - at, raw);
  };
  for (const auto& [raw, mode] :
       {std::pair{"0", MiniMelody::RhythmMode::none}, {"1", MiniMelody::RhythmMode::beatBased}}) {
    EXPECT_EQ(decode(with("rythmMode", raw))->rythmMode, mode) << raw;
  }
  const struct {
    std::string json;
    DecodingError::Kind kind;
    std::string member;
  } cases[] = {
      {with("rythmMode", "3"), DecodingError::Kind::dataCorrupted, "rythmMode"},
      {with("rythmMode", "-1"), DecodingError::Kind::dataCorrupted, "rythmMode"},
      {with("rythmMode", R"("1")"), DecodingError::Kind::typeMismatch, "rythmMode"},
      // Both "poly2" and "beat" are wrong; "poly2" comes first in field order.
      {with("beat", R"("3")", with("poly2", R"("x")")), DecodingError::Kind::typeMismatch, "poly2"},
  };
  for (const auto& c : cases) {
    const auto result = decode(c.json);
    ASSERT_FALSE(result) << c.json;
    EXPECT_EQ(result.error().kind, c.kind) << result.error().description();
    EXPECT_EQ(result.error().codingPath, std::vector<std::string>{c.member});
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
