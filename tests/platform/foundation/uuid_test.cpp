#include "platform/foundation/uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace foundation {
namespace {

TEST(UUID, ParseAcceptsOnlyTheExactTextForm) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    bool accepted;
  } cases[] = {
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", true},
      {"e621e1f8-c36c-495a-93fc-0c247a3e6e5f", true},
      {"e621E1F8-c36C-495a-93Fc-0C247a3e6E5f", true},
      {"00000000-0000-0000-0000-000000000000", true},
      {"", false},
      {"{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}", false},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5", false},    // 35 characters
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", false},  // 37 characters
      {"E621E1F8C36C-495A-93FC-0C247A3E6E5F0", false},   // hyphen missing
      {"E621E1F-8C36C-495A-93FC-0C247A3E6E5F", false},   // hyphen moved
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5G", false},   // not hexadecimal
      {" E621E1F8-C36C-495A-93FC-0C247A3E6E5", false},
      {"+621E1F8-C36C-495A-93FC-0C247A3E6E5F", false},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\n", false},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E\0F"s, false},
      {"urn:uuid:E621E1F8-C36C-495A-93FC-0C247A3E6E5F", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UUID::parse(c.text).has_value(), c.accepted) << '"' << c.text << '"';
  }
}

// Every byte value at every digit's place: accepted exactly when it is a hexadecimal
// digit, and then read as that digit's value in that place.
TEST(UUID, ParseReadsEveryDigitPlaceAndRejectsEveryOtherByteThere) {
  const std::string base = "00000000-0000-0000-0000-000000000000";
  const std::string_view hex = "0123456789abcdefABCDEF";
  int checked = 0;
  for (std::size_t place = 0; place < base.size(); ++place) {
    if (base[place] == '-') continue;
    const std::size_t digit = place - (place > 8) - (place > 13) - (place > 18) - (place > 23);
    for (int byte = 0; byte < 256; ++byte) {
      std::string text = base;
      text[place] = static_cast<char>(byte);
      const auto parsed = UUID::parse(text);
      const auto at = hex.find(static_cast<char>(byte));
      ASSERT_EQ(parsed.has_value(), at != std::string_view::npos) << "byte " << byte << " at " << place;
      if (!parsed) continue;
      const unsigned value = at < 16 ? static_cast<unsigned>(at) : static_cast<unsigned>(at) - 6;
      UUID::Bytes expected{};
      expected[digit / 2] = static_cast<std::uint8_t>(digit % 2 == 0 ? value << 4 : value);
      ASSERT_EQ(parsed->bytes(), expected) << "byte " << byte << " at " << place;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 32 * 22);
}

TEST(UUID, TextFormIsUpperCaseAndRandomIdentifiersAreVersionFourAndDistinct) {
  const auto parsed = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(UUID::fromBytes(parsed->bytes()), *parsed);
  std::set<UUID> seen;
  for (int i = 0; i < 1000; ++i) {
    const UUID id = UUID::random();
    const std::string text = id.uuidString();
    EXPECT_EQ(text[14], '4') << text;                                                    // the version
    EXPECT_NE(std::string_view("89AB").find(text[19]), std::string_view::npos) << text;  // the variant
    EXPECT_EQ(UUID::parse(id.uuidString()), id);
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace foundation
