#include "widget/tul_widget_entry_view.h"

#include "images/shared_images.h"

namespace tul {

using ui::Arg;
using ui::LocalizedStringKey;

ui::View TulWidgetEntryView::body() const {
  const MiniMelody& melody = entry.melody;
  ui::Text tempo = ui::Text(LocalizedStringKey::interpolated({"", Arg::integer(melody.bpm), ""}))
                       .font(ui::Font::largeTitle)
                       .fontWeight(ui::Font::Weight::heavy);
  // The name is counted only for a playlist entry.
  const bool showsName = melody.isPlaylingList && !melody.name.empty();

  // Only the branch taken is built, so each may take `tempo`.
  return ui::VStack(ui::HorizontalAlignment::center, std::nullopt,
                    {
                        ui::Text("Kadenzo").font(ui::Font::caption),
                        ui::Spacer(),
                        ui::ifElse(
                            showsName,
                            [&]() -> ui::ViewList {
                              return {std::move(tempo),
                                      ui::Text(LocalizedStringKey::interpolated({"", Arg::string(melody.name), " "}))};
                            },
                            [&]() -> ui::ViewList {
                              return {std::move(tempo), ui::Text(LocalizedStringKey::interpolated(
                                                            {"", Arg::string(std::string(melody.tempoMarking())), ""}))};
                            }),
                        ui::Spacer(),
                        playImage().font(ui::Font::largeTitle),
                    })
      .padding()
      .foregroundColor(ui::Color::white)
      .frame(ui::FrameOptions{.maxWidth = ui::kInfinity, .maxHeight = ui::kInfinity})
      .background(ui::ZStack(ui::Alignment::center,
                             {
                                 ui::Image("background", std::nullopt)
                                     .resizable()
                                     .aspectRatio(std::nullopt, ui::ContentMode::fill)
                                     .overlay(ui::Material::thin, ui::EdgeSet::all)
                                     .overlay(ui::Color::cyan.opacity(0.6), ui::EdgeSet::all),
                             }),
                  ui::Alignment::center);
}

}  // namespace tul
