#include "activity/tul_widget_attributes.h"

#include <gtest/gtest.h>

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

TEST(ContentStateCoding, EveryMemberButTheNameIsRequired) {
  const struct {
    const char* json;
    Kind kind;
    const char* member;
  } cases[] = {
      {R"({"beat":3,"note":4,"isPlaying":true,"isAutomated":true})", Kind::keyNotFound, "tempo"},
      {R"({"tempo":1,"note":4,"isPlaying":true,"isAutomated":true})", Kind::keyNotFound, "beat"},
      {R"({"tempo":1,"beat":3,"isPlaying":true,"isAutomated":true})", Kind::keyNotFound, "note"},
      {R"({"tempo":1,"beat":3,"note":4,"isAutomated":true})", Kind::keyNotFound, "isPlaying"},
      {R"({"tempo":1,"beat":3,"note":4,"isPlaying":true})", Kind::keyNotFound, "isAutomated"},
      {R"({"tempo":1,"beat":3,"note":4,"melodyName":7,"isPlaying":true,"isAutomated":true})", Kind::typeMismatch,
       "melodyName"},
  };
  for (const auto& c : cases) {
    auto state = decodeState(c.json);
    ASSERT_FALSE(state) << c.json;
    EXPECT_EQ(state.error().kind, c.kind) << c.json << ": " << state.error().description();
    EXPECT_EQ(state.error().codingPath, std::vector<std::string>{c.member}) << c.json;
  }
}

TEST(ContentStateEquality, FollowsCodedMeaning) {
  const State base{120, 4, 4, "Caf\xC3\xA9", true, false};
  State decomposed = base;
  decomposed.melodyName = "Cafe\xCC\x81";
  EXPECT_EQ(base, decomposed);
  EXPECT_EQ(foundation::hashValue(base), foundation::hashValue(decomposed));

  State absent = base, empty = base;
  absent.melodyName.reset();
  empty.melodyName = "";
  EXPECT_NE(absent, empty);
  EXPECT_NE(foundation::hashValue(absent), foundation::hashValue(empty));

  State automated = base;
  automated.isAutomated = true;
  EXPECT_NE(automated, base);
  EXPECT_NE(foundation::hashValue(automated), foundation::hashValue(base));
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
