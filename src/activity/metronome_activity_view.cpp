#include "activity/metronome_activity_view.h"

#include "images/shared_images.h"

namespace tul {

using ui::Arg;
using ui::LocalizedStringKey;

namespace activity_texts {

ui::Text metre(const TulWidgetAttributes::ContentState& state) {
  return ui::Text(LocalizedStringKey::interpolated({"", Arg::integer(state.beat), "/", Arg::integer(state.note), ""}));
}

ui::Text tempo(const TulWidgetAttributes::ContentState& state) {
  return ui::Text(LocalizedStringKey::interpolated({"", Arg::integer(state.tempo), ""}));
}

ui::Text melodyLine(const TulWidgetAttributes::ContentState& state) {
  return ui::Text(LocalizedStringKey::interpolated({"", Arg::string(state.melodyName.value_or("Free Beats")), ""}));
}

}  // namespace activity_texts

ui::View MetronomeActivityView::body() const {
  const auto& state = context.state;  // read once: the context does not change while the body is built

  ui::View leftColumn = ui::VStack(
      ui::HorizontalAlignment::center, std::nullopt,
      {ui::ifElse(state.isAutomated, {ui::Image::systemName("metronome")},
                  {activity_texts::metre(state).opacity(0.5).font(ui::Font::caption2),
                   activity_texts::tempo(state).font(ui::Font::title)})});

  ui::View middleColumn =
      ui::VStack(ui::HorizontalAlignment::center, std::nullopt,
                 {ui::Text("Kadenzo").font(ui::Font::caption2).opacity(0.5),
                  ui::ifElse(state.isPlaying, {activity_texts::melodyLine(state)}, {ui::Text("Automated Beats")})});

  ui::View indicator =
      ui::Button([] {},  // tapping the indicator changes nothing and sends nothing
                 ui::HStack(ui::VerticalAlignment::center, std::nullopt,
                            {ui::ifElse(state.isPlaying, {pauseImage()}, {playImage()})})
                     .font(ui::Font::title)
                     .padding())
          .buttonStyle(ui::PlainButtonStyle{});

  return ui::HStack(ui::VerticalAlignment::center, std::nullopt,
                    {std::move(leftColumn), ui::Spacer(), std::move(middleColumn), ui::Spacer(), std::move(indicator)})
      .padding(ui::EdgeSet::horizontal);
}

}  // namespace tul
