#include <gtest/gtest.h>

#include "activity/tul_widget_live_activity.h"
#include "images/shared_images.h"
#include "platform/ui/tree_json.h"
#include "platform/ui/tree_outline.h"
#include "support/tree_probe.h"

namespace tul {
namespace {

using Shown = std::vector<std::string>;
using State = TulWidgetAttributes::ContentState;
using Context = TulWidgetLiveActivity::Context;

Context contextWith(State state) { return Context{TulWidgetAttributes{"SECRET-ACTIVITY-NAME"}, std::move(state)}; }

Shown lockScreen(const State& state) {
  return testing::shown(ui::toJSON(MetronomeActivityView{contextWith(state)}.body()));
}

TEST(MetronomeActivityView, TreeForAPlayingManualState) {
  EXPECT_EQ(ui::outline(MetronomeActivityView{contextWith({120, 3, 4, "Waltz", true, false})}.body()),
            "HStack(alignment: center) .padding(horizontal)\n"
            "  VStack(alignment: center)\n"
            "    Conditional(branch: false)\n"
            "      Text \"3/4\" .opacity(0.5) .font(caption2)\n"
            "      Text \"120\" [font: title]\n"
            "  Spacer\n"
            "  VStack(alignment: center)\n"
            "    Text \"Kadenzo\" [font: caption2] .opacity(0.5)\n"
            "    Conditional(branch: true)\n"
            "      Text \"Waltz\"\n"
            "  Spacer\n"
            "  Button .buttonStyle(plain)\n"
            "    HStack(alignment: center) .font(title) .padding(all)\n"
            "      Conditional(branch: true)\n"
            "        Image(systemName: \"pause.fill\")\n");
}

TEST(MetronomeActivityView, EveryCombinationOfAutomatedPlayingAndName) {
  const std::optional<std::string> names[] = {std::nullopt, "", "Bolero"};
  for (bool automated : {false, true}) {
    for (bool playing : {false, true}) {
      for (const auto& name : names) {
        const Shown left = automated ? Shown{"symbol:metronome"} : Shown{"-3/0", "-7"};
        const std::string second = !playing ? "Automated Beats" : name.value_or("Free Beats");
        Shown expected = left;
        expected.insert(expected.end(), {"Kadenzo", second, playing ? "symbol:pause.fill" : "symbol:play.fill"});
        EXPECT_EQ(lockScreen({-7, -3, 0, name, playing, automated}), expected)
            << "automated " << automated << " playing " << playing << " name " << name.value_or("(absent)");
      }
    }
  }
}

TEST(MetronomeActivityView, IndicatorUsesTheSharedImagesAndItsButtonDoesNothing) {
  for (bool playing : {false, true}) {
    const auto tree = MetronomeActivityView{contextWith({120, 4, 4, std::nullopt, playing, false})}.body();
    const ui::View& button = tree.children().back();
    const auto* node = button.as<ui::nodes::Button>();
    ASSERT_NE(node, nullptr);
    const auto before = ui::toJSON(tree);
    node->action();  // tapping changes nothing
    EXPECT_EQ(ui::toJSON(tree), before);
    const ui::View& label = *node->label;
    const auto* image = label.children().front().children().front().as<ui::Image>();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->sameInstance(playing ? pauseImage() : playImage()));
  }
}

}  // namespace
}  // namespace tul
