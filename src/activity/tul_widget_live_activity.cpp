#include "activity/tul_widget_live_activity.h"

#include "images/shared_images.h"

namespace tul {

namespace {

using State = TulWidgetAttributes::ContentState;
using Position = widgetkit::DynamicIslandExpandedRegionPosition;

ui::View metronomeSymbol() { return ui::Image::systemName("metronome"); }

ui::View tempoBlock(const State& state) {
  return state.isAutomated ? metronomeSymbol() : ui::View(activity_texts::tempo(state));
}

ui::View metreBlock(const State& state) {
  return state.isAutomated ? metronomeSymbol() : ui::View(activity_texts::metre(state));
}

ui::View expandedTrailingBlock(const State& state) {
  return state.isAutomated ? ui::View(pauseImage()) : ui::View(activity_texts::metre(state));
}

ui::View bottomBlock(const State& state) {
  return ui::optionalView(state.isAutomated ? std::nullopt : std::optional<ui::View>(activity_texts::melodyLine(state)));
}

ui::View productLabel() { return ui::Text("Kadenzo").font(ui::Font::caption2); }

}  // namespace

widgetkit::DynamicIsland TulWidgetLiveActivity::Island::operator()(const Context& context) const {
  // Each builder keeps its own copy of the context.
  return widgetkit::DynamicIsland(
      [context] {
        return std::vector<widgetkit::DynamicIslandExpandedRegion>{
            {Position::leading, 0, [&] { return tempoBlock(context.state); }},
            {Position::trailing, 0, [&] { return expandedTrailingBlock(context.state); }},
            {Position::center, 0, [] { return productLabel(); }},
            {Position::bottom, 0, [&] { return bottomBlock(context.state); }},
        };
      },
      [context] { return tempoBlock(context.state); },
      [context] { return metreBlock(context.state); },
      [context] { return tempoBlock(context.state); });
}

TulWidgetLiveActivity::Configuration TulWidgetLiveActivity::body() const {
  return Configuration(widgetkit::forAttributes<TulWidgetAttributes>, Content(), Island());
}

}  // namespace tul
