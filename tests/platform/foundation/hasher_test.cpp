#include "platform/foundation/hasher.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/foundation/canonical_text.h"

namespace foundation {
namespace {

// Hashes a list of texts fed one after another.
std::int64_t hashTexts(const std::vector<std::string>& texts, std::uint64_t seed = 0) {
  Hasher hasher(seed);
  for (const auto& text : texts) hasher.combineText(text);
  return hasher.finalize();
}

TEST(Hasher, SameInputsGiveTheSameHashAndDifferentOnesDiffer) {
  EXPECT_EQ(hashTexts({"tempo", "120"}), hashTexts({"tempo", "120"}));
  EXPECT_NE(hashTexts({"tempo", "120"}), hashTexts({"120", "tempo"}));  // order matters
  EXPECT_NE(hashTexts({"ab", "c"}), hashTexts({"a", "bc"}));            // texts do not run together
  EXPECT_NE(hashTexts({"tempo"}, 1), hashTexts({"tempo"}, 2));          // the seed matters
  EXPECT_NE(hashTexts({""}), hashTexts({}));                            // an empty text still counts

  Hasher a(7), b(7), straight(7);
  a.combine(std::int64_t{-1});
  b.combine(std::uint64_t{0xFFFF'FFFF'FFFF'FFFF});
  EXPECT_EQ(a.finalize(), b.finalize());  // the same bit pattern
  a.combine(true);
  b.combine(false);
  EXPECT_NE(a.finalize(), b.finalize());
  straight.combine(std::int64_t{-1});
  straight.combine(true);
  EXPECT_EQ(a.finalize(), straight.finalize()) << "finalize() leaves the hasher as it was";

  Hasher words(3), bytes(3);  // words are fed as their little-endian bytes
  words.combine(std::uint64_t{0x0102030405060708});
  const std::vector<std::uint8_t> littleEndian{8, 7, 6, 5, 4, 3, 2, 1};
  bytes.combineBytes(littleEndian);
  EXPECT_EQ(words.finalize(), bytes.finalize());
}

TEST(CanonicalText, EqualityFollowsCanonicalEquivalenceAndNfcLeavesInvalidTextAlone) {
  using namespace std::string_literals;
  const struct {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"caf\u00E9", "cafe\u0301", true},         // precomposed and decomposed é
      {"\u212A", "K", true},                     // KELVIN SIGN is canonically K
      {"\u212B", "\u00C5", true},                // ANGSTROM SIGN and Å
      {"a\u0323\u0307", "a\u0307\u0323", true},  // combining marks reordered
      {"\u1E0B\u0323", "\u1E0D\u0307", true},
      {"cafe", "caf\u00E9", false},
      {"tempo", "Tempo", false},
      {"\uFB01", "fi", false},  // compatibility only, not canonical
      {"a\0b"s, "a\0b"s, true},
      {"a\0b"s, "a\0c"s, false},
      {"\xC3", "\xC3", true},  // invalid UTF-8 compares by bytes
      {"\xC3", "\xC3\xA9", false},
      {"e\xCC\x81\xFF", "\xC3\xA9\xFF", false},  // invalid: no normalisation at all
  };
  for (const auto& c : cases) {
    EXPECT_EQ(canonicallyEqual(c.a, c.b), c.equal) << '"' << c.a << "\" vs \"" << c.b << '"';
    EXPECT_EQ(canonicallyEqual(c.b, c.a), c.equal) << '"' << c.b << "\" vs \"" << c.a << '"';
    if (c.equal) {
      EXPECT_EQ(hashTexts({c.a}, 9), hashTexts({c.b}, 9)) << '"' << c.a << '"';
    }
  }
  // What the hash is fed: the composed form of valid text, invalid text as it is.
  EXPECT_EQ(nfc("cafe\u0301"), "caf\u00E9");
  EXPECT_EQ(nfc("\u212A"), "K");
  EXPECT_EQ(nfc("plain"), "plain");
  EXPECT_EQ(nfc("e\u0301\0e\u0301"s), "\u00E9\0\u00E9"s);
  EXPECT_EQ(nfc("e\u0301\xC0\x80"), "e\u0301\xC0\x80");  // an overlong form is invalid
  EXPECT_EQ(nfc("\xED\xA0\x80"), "\xED\xA0\x80");        // so is a surrogate
}

}  // namespace
}  // namespace foundation
