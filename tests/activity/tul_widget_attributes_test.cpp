// The Live Activity's records as the app codes them: members, their order, the
// optional name, and equality and hash by coded meaning.
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

// Decoded from any member order, other members ignored, and written in field order;
// a missing or null name is absent and writes no member.
TEST(ContentStateCoding, DecodesAndWritesSixMembersInOrder) {
  constexpr const char* kNameless = R"({"tempo":1,"beat":3,"note":4,"isPlaying":false,"isAutomated":true})";
  const std::pair<const char*, const char*> cases[] = {
      {R"({"isAutomated":false,"isPlaying":true,"melodyName":"Bolero","note":8,"beat":6,"tempo":72,"bpm":5,"name":"x"})",
       R"({"tempo":72,"beat":6,"note":8,"melodyName":"Bolero","isPlaying":true,"isAutomated":false})"},
      {kNameless, kNameless},
      {R"({"tempo":1,"beat":3,"note":4,"melodyName":null,"isPlaying":false,"isAutomated":true})", kNameless},
  };
  for (const auto& [json, written] : cases) {
    auto state = decodeState(json);
    ASSERT_TRUE(state) << json << ": " << state.error().description();
    EXPECT_EQ(encode(*state), written);
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

// Canonically equivalent names compare and hash alike: the fuzz corpus replay's
// state_unicode_name.json.
TEST(ContentStateEquality, FollowsCodedMeaning) {
  const State base{120, 4, 4, "Caf\xC3\xA9", true, false};
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

// A missing name is in widget-host's error goldens.
TEST(TulWidgetAttributesCoding, AnyTextIsAName) {
  EXPECT_TRUE(foundation::JSONDecoder().decode<TulWidgetAttributes>(std::string_view(R"({"name":""})")));
  EXPECT_EQ(*foundation::JSONEncoder().encodeToString(TulWidgetAttributes{"Practice"}), R"({"name":"Practice"})");
}

}  // namespace
}  // namespace tul
