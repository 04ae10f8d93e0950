// What the widget's tree is made of besides its outline (tul_widget_golden_test.cpp,
// whose outlines also show that no field but the name, the flag and the tempo is shown).
#include "widget/tul_widget_entry_view.h"

#include <gtest/gtest.h>

#include "images/shared_images.h"

namespace tul {
namespace {

TEST(TulWidgetEntryView, PlaySymbolIsTheSharedImage) {
  const auto tree = TulWidgetEntryView{SimpleEntry{foundation::Date::now(), MiniMelody::defaultMelody()}}.body();
  ASSERT_NE(tree.children()[4].as<ui::Image>(), nullptr);
  EXPECT_TRUE(tree.children()[4].as<ui::Image>()->sameInstance(playImage()));
}

}  // namespace
}  // namespace tul
