#include "platform/ui/strings_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ui {
namespace {

TEST(StringsTable, ReadsEntriesCommentsAndEscapes) {
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
  EXPECT_EQ(table->size(), 6U);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Kadenzo", "Kadenzo DE"},
      {"%lld", "%lld BPM"},
      {"Automated Beats", "Automatische\nSchläge"},
      {"quote \" and \\", "tab\there\r"},
      {"\xC3\xA9\xC3\xA9", "\xF0\x9F\x8E\xB5 note"},
      {"multi\nline", ""},
  };
  for (const auto& [key, value] : expected) {
    auto found = table->find(key);
    ASSERT_TRUE(found.has_value()) << key;
    EXPECT_EQ(*found, value) << key;
  }
  EXPECT_FALSE(table->find("missing").has_value());
  for (const char* empty : {"", "\n\n  \t", "/**/ // x\n/* a\nb */\n"})
    EXPECT_EQ(StringsTable::parse(empty)->size(), 0U);
  EXPECT_FALSE(table->find("kadenzo").has_value()) << "keys compare exactly";
}

TEST(StringsTable, RejectsBadSyntaxNamingLineAndColumn) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t line;
    std::size_t column;
    std::string what;
  };
  const std::vector<Case> cases = {
      {"missing semicolon", "\"a\" = \"b\"\n\"c\" = \"d\";", 2, 1, "expected ';' after the value, found '\"'"},
      {"missing equals", "\"a\" \"b\";", 1, 5, "expected '=' after the key"},
      {"unquoted key", "\n  key = \"v\";", 2, 3, "expected a quoted key, found 'k'"},
      {"unquoted value", "\"k\" = v;", 1, 7, "expected a quoted value, found 'v'"},
      {"unterminated value", "\"a\" = \"b\";\n\"c\" = \"d;\n", 2, 7, "unterminated string"},
      {"unterminated comment", "\"a\" = \"b\";\n  /* open", 2, 3, "unterminated comment"},
      {"stray slash", "\"a\" = \"b\"; / x", 1, 12, "expected a quoted key, found '/'"},
      {"unknown escape", "\"a\" = \"x\\qy\";", 1, 9, "unknown escape '\\q'"},
      {"short unicode escape", "\"a\" = \"\\u12\";", 1, 8, "\\u needs four hex digits"},
      {"lone high surrogate", "\"a\" = \"\\ud83c x\";", 1, 8, "unpaired high surrogate"},
      {"lone low surrogate", "\"a\" = \"\\udfb5\";", 1, 8, "unpaired low surrogate"},
      {"control character", "\"a\" = \"b\";\x01", 1, 11, "expected a quoted key, found control character 0x01"},
      {"columns count characters", "\"äöü\" = \"b\" x", 1, 13, "expected ';' after the value, found 'x'"},
      {"duplicate key", "\"a\" = \"1\";\n\"b\" = \"2\";\n\"a\" = \"3\";", 3, 1,
       "duplicate key \"a\" (first given on line 1)"},
      {"invalid UTF-8 byte", "\"a\" = \"b\";\n\"\xC3\xA9\xFF\" = \"c\";", 2, 3, "invalid UTF-8 (byte 0xFF)"},
      {"truncated sequence", "\"a\" = \"\xE2\x82\";", 1, 8, "invalid UTF-8 (byte 0xE2)"},
      {"overlong form", "\"\xC0\xAF\" = \"\";", 1, 2, "invalid UTF-8 (byte 0xC0)"},
      {"encoded surrogate", "\"\xED\xA0\x80\" = \"\";", 1, 2, "invalid UTF-8 (byte 0xED)"},
      {"UTF-16 file", std::string("\xFF\xFE\"\0a\0\"\0", 8), 1, 1, "the file is UTF-16"},
  };
  for (const auto& c : cases) {
    auto table = StringsTable::parse(c.text, "Localizable.strings");
    ASSERT_FALSE(table.has_value()) << c.name;
    const StringsError& error = table.error();
    EXPECT_EQ(error.line, c.line) << c.name << ": " << error.message;
    EXPECT_EQ(error.column, c.column) << c.name << ": " << error.message;
    const std::string prefix = "Localizable.strings:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": ";
    EXPECT_EQ(error.message.rfind(prefix, 0), 0U) << c.name << ": " << error.message;
    EXPECT_NE(error.message.find(c.what), std::string::npos) << c.name << ": " << error.message;
  }
}

}  // namespace
}  // namespace ui
