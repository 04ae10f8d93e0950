// The text measurer's widths, kept per text and font.
#include "platform/render/pango_text_measurer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// A measurer that measured a text before gives its width again, for that text in that
// font only: the same text in another size or weight, or a text that differs in a
// character, measures as a measurer that never saw it measures it.
TEST(PangoTextMeasurer, KeepsEachWidthForItsTextAndFont) {
  const std::vector<std::pair<std::string, ui::ResolvedFont>> asked = {
      {"Kadenzo", {12, 400}}, {"Kadenzo", {12, 800}}, {"Kadenzo", {13, 400}}, {"Kadenz", {12, 400}}};
  auto seen = render::PangoTextMeasurer::create();
  ASSERT_TRUE(seen);
  std::vector<double> first;
  for (const auto& [text, font] : asked) first.push_back(seen->width(text, font));
  for (std::size_t i = asked.size(); i-- > 0;) {
    auto fresh = render::PangoTextMeasurer::create();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(seen->width(asked[i].first, asked[i].second), fresh->width(asked[i].first, asked[i].second)) << i;
    EXPECT_EQ(first[i], fresh->width(asked[i].first, asked[i].second)) << i;
  }
  EXPECT_EQ(std::set<double>(first.begin(), first.end()).size(), first.size());
}

}  // namespace
