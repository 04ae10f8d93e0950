#include "activity/tul_widget_attributes.h"

#include <gtest/gtest.h>

#include <limits>

namespace tul {
namespace {

using foundation::DecodingError;
using Kind = DecodingError::Kind;
using State = TulWidgetAttributes::ContentState;

std::expected<State, DecodingError> decodeState(std::string_view json) {
  return foundation::JSONDecoder().decode<State>(json);
}
std::string encode(const State& state) { return *foundation::JSONEncoder().encodeToString(state); }

TEST(ContentStateCoding, DecodesAndWritesSixMembersInOrder) {
  auto state = decodeState(
      R"({"isAutomated":false,"isPlaying":true,"melodyName":"Bolero","note":8,"beat":6,"tempo":72,"bpm":5,"name":"x"})");
  ASSERT_TRUE(state) << state.error().description();
  EXPECT_EQ(state->tempo, 72);
  EXPECT_EQ(state->beat, 6);
  EXPECT_EQ(state->note, 8);
  EXPECT_EQ(state->melodyName, "Bolero");
  EXPECT_TRUE(state->isPlaying);
  EXPECT_FALSE(state->isAutomated);
  EXPECT_EQ(encode(*state),
            R"({"tempo":72,"beat":6,"note":8,"melodyName":"Bolero","isPlaying":true,"isAutomated":false})");
}

TEST(ContentStateCoding, MissingOrNullNameIsAbsentAndWritesNoMember) {
  for (auto json : {R"({"tempo":1,"beat":3,"note":4,"isPlaying":false,"isAutomated":true})",
                    R"({"tempo":1,"beat":3,"note":4,"melodyName":null,"isPlaying":false,"isAutomated":true})"}) {
    auto state = decodeState(json);
    ASSERT_TRUE(state) << json;
    EXPECT_FALSE(state->melodyName.has_value());
    EXPECT_EQ(encode(*state), R"({"tempo":1,"beat":3,"note":4,"isPlaying":false,"isAutomated":true})");
  }
}

TEST(ContentStateCoding, FailuresNameTheFirstFailingMember) {
  const struct {
    const char* json;
    Kind kind;
    const char* member;  // empty: the document itself
  } cases[] = {
      {R"({"beat":3,"note":4,"isPlaying":true,"isAutomated":true})", Kind::keyNotFound, "tempo"},
      {R"({"tempo":1,"note":4,"isPlaying":true,"isAutomated":true})", Kind::keyNotFound, "beat"},
      {R"({"tempo":1,"beat":3,"isPlaying":true,"isAutomated":true})", Kind::keyNotFound, "note"},
      {R"({"tempo":1,"beat":3,"note":4,"isAutomated":true})", Kind::keyNotFound, "isPlaying"},
      {R"({"tempo":1,"beat":3,"note":4,"isPlaying":true})", Kind::keyNotFound, "isAutomated"},
      {R"({"tempo":"1","beat":3,"note":4,"isPlaying":true,"isAutomated":true})", Kind::typeMismatch, "tempo"},
      {R"({"tempo":1,"beat":3,"note":4,"isPlaying":1,"isAutomated":true})", Kind::typeMismatch, "isPlaying"},
      {R"({"tempo":1,"beat":3,"note":4,"melodyName":7,"isPlaying":true,"isAutomated":true})", Kind::typeMismatch,
       "melodyName"},
      {R"({"tempo":null,"beat":3,"note":4,"isPlaying":true,"isAutomated":true})", Kind::valueNotFound, "tempo"},
      {R"({"tempo":1,"beat":3,"note":4,"isPlaying":true,"isAutomated":null})", Kind::valueNotFound, "isAutomated"},
      {R"({"tempo":9223372036854775808,"beat":3,"note":4,"isPlaying":true,"isAutomated":true})", Kind::dataCorrupted,
       "tempo"},
      {R"({"tempo":1.5,"beat":3,"note":4,"isPlaying":true,"isAutomated":true})", Kind::dataCorrupted, "tempo"},
      // "beat" and "isAutomated" both fail: decoding stops at "beat".
      {R"({"tempo":1,"beat":"x","note":4,"isPlaying":true})", Kind::typeMismatch, "beat"},
      {R"([1,2,3])", Kind::typeMismatch, ""},
      {R"(42)", Kind::typeMismatch, ""},
      {R"({"tempo":1,)", Kind::dataCorrupted, ""},
  };
  for (const auto& c : cases) {
    auto state = decodeState(c.json);
    ASSERT_FALSE(state) << c.json;
    EXPECT_EQ(state.error().kind, c.kind) << c.json << ": " << state.error().description();
    const std::vector<std::string> path =
        std::string_view(c.member).empty() ? std::vector<std::string>{} : std::vector<std::string>{c.member};
    EXPECT_EQ(state.error().codingPath, path) << c.json;
  }
}

TEST(ContentStateCoding, IntegersAtBothLimitsRoundTrip) {
  const State state{
      std::numeric_limits<std::int64_t>::min(), 0, std::numeric_limits<std::int64_t>::max(), "", false, false};
  auto back = decodeState(encode(state));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, state);
  EXPECT_EQ(back->tempo, std::numeric_limits<std::int64_t>::min());
}

TEST(ContentStateKeys, ConvertByExactTextOnly) {
  using K = State::CodingKeys;
  EXPECT_EQ(foundation::stringValue(K::isAutomated), "isAutomated");
  EXPECT_EQ(foundation::codingKeyFromString<K>("melodyName"), K::melodyName);
  for (auto text : {"Tempo", "tempo ", "", "name", "TEMPO"})
    EXPECT_FALSE(foundation::codingKeyFromString<K>(text)) << text;
  for (int i : {0, 1, 5, -1}) EXPECT_FALSE(foundation::codingKeyFromInt<K>(i));
  EXPECT_FALSE(foundation::intValue(K::tempo));
  using A = TulWidgetAttributes::CodingKeys;
  EXPECT_EQ(foundation::codingKeyFromString<A>("name"), A::name);
  EXPECT_FALSE(foundation::codingKeyFromString<A>("Name"));
  EXPECT_FALSE(foundation::codingKeyFromInt<A>(0));
}

TEST(ContentStateEquality, FollowsCodedMeaning) {
  const State base{120, 4, 4, "Caf\xC3\xA9", true, false};
  State decomposed = base;
  decomposed.melodyName = "Cafe\xCC\x81";
  EXPECT_EQ(base, decomposed);
  EXPECT_EQ(foundation::hashValue(base), foundation::hashValue(decomposed));
  EXPECT_EQ(foundation::hashValue(base, -17), foundation::hashValue(decomposed, -17));
  EXPECT_NE(foundation::hashValue(base, 1), foundation::hashValue(base, 2));

  State absent = base, empty = base;
  absent.melodyName.reset();
  empty.melodyName = "";
  EXPECT_NE(absent, empty);
  EXPECT_NE(foundation::hashValue(absent), foundation::hashValue(empty));

  State automated = base;
  automated.isAutomated = true;
  EXPECT_NE(automated, base);
  EXPECT_NE(foundation::hashValue(automated), foundation::hashValue(base));

  State swapped = base;
  swapped.beat = base.note + 1;
  EXPECT_NE(swapped, base);
}

TEST(TulWidgetAttributesCoding, NameIsRequiredAndAnyTextDecodes) {
  for (auto json : {R"({"name":""})", R"({"name":"Practice","other":1})"}) {
    auto attributes = foundation::JSONDecoder().decode<TulWidgetAttributes>(std::string_view(json));
    ASSERT_TRUE(attributes) << json;
  }
  auto missing = foundation::JSONDecoder().decode<TulWidgetAttributes>(std::string_view(R"({"Name":"x"})"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().kind, Kind::keyNotFound);
  EXPECT_EQ(*foundation::JSONEncoder().encodeToString(TulWidgetAttributes{"Practice"}), R"({"name":"Practice"})");
}

}  // namespace
}  // namespace tul
