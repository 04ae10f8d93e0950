// .strings tables read from text: entries, comments and escapes, and each kind of
// bad syntax reported with its line and column.
#include "platform/ui/strings_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden/golden.h"
#include "platform/ui/tree_outline.h"

namespace ui {
namespace {

TEST(StringsTableGolden, ReadsEntriesCommentsAndEscapes) {
  const std::string text =
      "\xEF\xBB\xBF/* Title of the widget */\n"
      "\"Kadenzo\" = \"Kadenzo DE\";\n"
      "// tempo with its unit\n"
      "\"%lld\"=\"%lld BPM\" ;\n"
      "  \"Automated Beats\"\t=\n  \"Automatische\\nSchläge\";  /* trailing */\n"
      "\"quote \\\" and \\\\\" = \"tab\\there\\r\";\n"
      "\"\\u00e9\\u00E9\" = \"\\ud83c\\udfb5 note\";\n"
      "\"multi\nline\" = \"\";\n";
  auto table = StringsTable::parse(text, "de.lproj/Localizable.strings");
  ASSERT_TRUE(table.has_value()) << table.error().message;
  // The entries in key order, each quoted as the outline quotes a text.
  std::string out;
  for (const auto& [key, value] : table->entries()) out += outlineQuoted(key) + " = " + outlineQuoted(value) + "\n";
  tul::testing::expectGolden("strings-table-entries.txt", out);
  EXPECT_EQ(table->find("Kadenzo"), "Kadenzo DE");
  EXPECT_FALSE(table->find("missing").has_value());
  EXPECT_FALSE(table->find("kadenzo").has_value()) << "keys compare exactly";
  for (const char* empty : {"", "\n\n  \t", "/**/ // x\n/* a\nb */\n"}) {
    EXPECT_EQ(StringsTable::parse(empty)->size(), 0U);
  }
}

TEST(StringsTableGolden, RejectsBadSyntaxNamingLineAndColumn) {
  const std::pair<const char*, std::string> cases[] = {
      {"missing semicolon", "\"a\" = \"b\"\n\"c\" = \"d\";"},
      {"missing equals", "\"a\" \"b\";"},
      {"unquoted key", "\n  key = \"v\";"},
      {"unquoted value", "\"k\" = v;"},
      {"unterminated value", "\"a\" = \"b\";\n\"c\" = \"d;\n"},
      {"unterminated comment", "\"a\" = \"b\";\n  /* open"},
      {"stray slash", "\"a\" = \"b\"; / x"},
      {"unknown escape", "\"a\" = \"x\\qy\";"},
      {"short unicode escape", "\"a\" = \"\\u12\";"},
      {"lone high surrogate", "\"a\" = \"\\ud83c x\";"},
      {"lone low surrogate", "\"a\" = \"\\udfb5\";"},
      {"control character", "\"a\" = \"b\";\x01"},
      {"columns count characters", "\"äöü\" = \"b\" x"},
      {"duplicate key", "\"a\" = \"1\";\n\"b\" = \"2\";\n\"a\" = \"3\";"},
      {"invalid UTF-8 byte", "\"a\" = \"b\";\n\"\xC3\xA9\xFF\" = \"c\";"},
      {"truncated sequence", "\"a\" = \"\xE2\x82\";"},
      {"overlong form", "\"\xC0\xAF\" = \"\";"},
      {"encoded surrogate", "\"\xED\xA0\x80\" = \"\";"},
      {"UTF-16 file", std::string("\xFF\xFE\"\0a\0\"\0", 8)},
  };
  // Each case's name, the error's line and column (in characters) and its message.
  std::string out;
  for (const auto& [name, text] : cases) {
    auto table = StringsTable::parse(text, "Localizable.strings");
    ASSERT_FALSE(table.has_value()) << name;
    const StringsError& e = table.error();
    out += name + (" (line " + std::to_string(e.line)) + ", column " + std::to_string(e.column) + ")\n  " + e.message +
           "\n";
  }
  tul::testing::expectGolden("strings-table-errors.txt", out);
}

}  // namespace
}  // namespace ui
