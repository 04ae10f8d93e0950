#include "gallery_matrix.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "parallel_drawing.h"
#include "platform/foundation/data.h"
#include "platform/ui/names.h"

namespace host {

namespace {

// What the extension answered in one language: the widget's three requests, then the
// activity's every presentation.
struct LocaleAnswers {
  std::string locale;
  Json widget[3];
  Json activity;
};

constexpr const char* kWidgetMethods[] = {"placeholder", "snapshot", "timeline"};

std::expected<LocaleAnswers, HostError> ask(ExtensionSession& session, const std::string& locale) {
  LocaleAnswers answers{locale, {}, {}};
  const Json widget = {
      {"kind", kGalleryWidgetKind}, {"family", kGalleryWidgetFamily}, {"context", {{"locale", locale}}}};
  for (std::size_t i = 0; i < std::size(kWidgetMethods); ++i) {
    auto result = session.request(kWidgetMethods[i], widget);
    if (!result) return std::unexpected(result.error());
    answers.widget[i] = std::move(*result);
  }
  const GalleryState& playing = kGalleryStates[0];
  const Json activity = {{"attributes", foundation::base64Encoded(std::string(kGalleryAttributes))},
                         {"state", foundation::base64Encoded(std::string(playing.state))},
                         {"presentation", "all"},
                         {"locale", locale}};
  auto result = session.request("activity", activity);
  if (!result) return std::unexpected(result.error());
  answers.activity = std::move(*result);
  return answers;
}

// One row of the matrix.
struct Cell {
  const LocaleAnswers* answers;
  ui::Variant variant;
};

// The activity's answer without the compact sides, which the matrix shows as one shape.
Json withoutCompactSides(const Json& activity) {
  Json out = activity;
  const auto all = out.find("presentations");
  if (all == out.end() || !all->is_array()) return out;
  Json kept = Json::array();
  for (const Json& presentation : *all) {
    const auto named = presentation.is_object() ? presentation.find("presentation") : presentation.end();
    const bool side = named != presentation.end() && (*named == ui::name(ui::Surface::islandCompactLeading) ||
                                                      *named == ui::name(ui::Surface::islandCompactTrailing));
    if (!side) kept.push_back(presentation);
  }
  *all = std::move(kept);
  return out;
}

std::expected<std::vector<NamedPicture>, HostError> drawCell(const Cell& cell, const Drawing& drawing) {
  std::vector<NamedPicture> out;
  for (std::size_t i = 0; i < std::size(kWidgetMethods); ++i) {
    auto entries = drawEntries(cell.answers->widget[i], drawing);
    if (!entries) return std::unexpected(entries.error());
    const bool only = entries->size() == 1;
    for (NamedPicture& entry : *entries) {
      entry.name = std::string("widget-") + kWidgetMethods[i] + (only ? "" : "-" + entry.name);
      out.push_back(std::move(entry));
    }
  }
  auto presentations = drawPresentations(withoutCompactSides(cell.answers->activity), drawing);
  if (!presentations) return std::unexpected(presentations.error());
  auto compact = drawCompactIsland(cell.answers->activity, drawing);
  if (!compact) return std::unexpected(compact.error());
  for (NamedPicture& presentation : *presentations) {
    const bool beforeCompact = presentation.name == ui::name(ui::Surface::islandMinimal);
    if (beforeCompact && *compact) out.push_back(std::move(**compact));
    out.push_back(std::move(presentation));
  }
  return out;
}

// Draws every cell on `threads` threads; each result in its cell's place.
std::vector<std::expected<std::vector<NamedPicture>, HostError>> drawCells(const std::vector<Cell>& cells,
                                                                           const MatrixOptions& options,
                                                                           const PictureRenderer& renderer,
                                                                           const std::filesystem::path& assets) {
  std::vector<PictureJob> jobs;
  jobs.reserve(cells.size());
  for (const Cell& cell : cells) {
    jobs.emplace_back([&cell, &options, &renderer, &assets](bool sideBySide) {
      return drawCell(cell,
                      Drawing{renderer, PictureStyle{options.format, options.scale, cell.variant}, assets, sideBySide});
    });
  }
  return drawInParallel(jobs, options.threads);
}

template <typename T>
std::vector<T> everyValue() {
  std::vector<T> all;
  for (const auto& entry : ui::Names<T>::table) all.push_back(entry.value);
  return all;
}

}  // namespace

std::expected<std::string, HostError> matrixCommand(const ExtensionOptions& extension, const MatrixOptions& options,
                                                    const PictureRenderer& renderer) {
  const std::vector<ui::Device> devices = options.devices.empty() ? everyValue<ui::Device>() : options.devices;
  const std::vector<ui::ContentSizeCategory> textSizes =
      options.textSizes.empty() ? everyValue<ui::ContentSizeCategory>() : options.textSizes;
  const std::vector<std::string> locales =
      options.locales.empty() ? std::vector<std::string>(std::begin(kMatrixLocales), std::end(kMatrixLocales))
                              : options.locales;
  return writeGallery(
      extension, options.where, [&](ExtensionSession& session) -> std::expected<GalleryContent, HostError> {
        // Loaded (while the extension starts) before anything is asked: when it fails,
        // the extension has stored nothing.
        if (auto loaded = renderer.ready(); !loaded) return std::unexpected(loaded.error());
        std::vector<LocaleAnswers> answers;
        answers.reserve(locales.size());  // the cells point into it
        for (const std::string& locale : locales) {
          auto asked = ask(session, locale);
          if (!asked) return std::unexpected(asked.error());
          answers.push_back(std::move(*asked));
        }
        std::vector<Cell> cells;
        for (const LocaleAnswers& language : answers) {
          for (const ui::Device device : devices) {
            for (const ui::ContentSizeCategory textSize : textSizes) {
              cells.push_back(Cell{&language, ui::Variant{device, textSize, ui::directionOf(language.locale)}});
            }
          }
        }
        auto drawn = drawCells(cells, options, renderer, extension.executable.parent_path());

        const std::string_view format = name(options.format);
        GalleryContent content;
        content.page.title = "Widget matrix";
        content.page.about = std::string(kGalleryWidgetKind) + ", " + std::string(kGalleryWidgetFamily) + "; " +
                             std::string(format) + " at scale " + std::to_string(options.scale) + "; " +
                             std::to_string(cells.size()) + " variants; activity state " +
                             std::string(kGalleryStates[0].state);
        for (std::size_t i = 0; i < cells.size(); ++i) {
          const ui::Variant& variant = cells[i].variant;
          const std::string stem = cells[i].answers->locale + "-" + std::string(ui::name(variant.device)) + "-" +
                                   std::string(ui::name(variant.textSize));
          if (!drawn[i]) {
            HostError error = drawn[i].error();
            error.message = stem + ": " + error.message;
            return std::unexpected(std::move(error));
          }
          GalleryRow row{cells[i].answers->locale + ", " + std::string(ui::name(variant.device)) + "-point phone, " +
                             std::string(ui::name(variant.textSize)),
                         {},
                         {}};
          for (NamedPicture& named : *drawn[i]) {
            addPicture(content, row, stem + "-" + named.name, spaced(named.name), std::move(named.picture), format);
          }
          content.page.rows.push_back(std::move(row));
        }
        return content;
      });
}

}  // namespace host
