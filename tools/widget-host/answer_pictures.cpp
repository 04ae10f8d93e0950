#include "answer_pictures.h"

#include <optional>

#include "platform/ui/tree_json_reader.h"
#include "quoted_text.h"

namespace host {

namespace {

HostError brokeProtocol(const std::string& message) { return HostError{ExitCode::unavailable, message}; }

std::expected<Picture, HostError> encoded(std::expected<ui::LayoutResult, render::RenderError> layout,
                                          const PictureStyle& style, const std::string& what) {
  const auto failed = [&](const render::RenderError& error) {
    return HostError{ExitCode::renderFailed, "cannot draw " + what + ": " + error.message};
  };
  if (!layout) return std::unexpected(failed(layout.error()));
  auto bytes = render::encode(*layout, style.format, style.scale);
  if (!bytes) return std::unexpected(failed(bytes.error()));
  return Picture{layout->size.width, layout->size.height, std::move(*bytes)};
}

// The tree of `holder["view"]`, read back; `what` names it in messages.
std::expected<ui::View, HostError> viewOf(const Json& holder, const std::string& what) {
  const auto view = holder.is_object() ? holder.find("view") : holder.end();
  if (!holder.is_object() || view == holder.end()) {
    return std::unexpected(brokeProtocol("the extension's answer has no view for " + what));
  }
  auto tree = ui::fromJSON(*view);
  if (!tree) {
    return std::unexpected(
        brokeProtocol("the extension's view for " + what + " does not read back: " + tree.error().describe()));
  }
  return std::move(*tree);
}

std::expected<Picture, HostError> drawPresentation(const Json& presentation, const PictureStyle& style,
                                                   const ui::Bundle& assets, std::string& name) {
  const auto named = presentation.is_object() ? presentation.find("presentation") : presentation.end();
  if (!presentation.is_object() || named == presentation.end() || !named->is_string()) {
    return std::unexpected(brokeProtocol("the extension's answer has a presentation without a name"));
  }
  name = named->get<std::string>();
  const std::string what = "the " + name + " presentation";
  const std::optional<ui::Surface> surface = ui::surfaceNamed(name);
  if (!surface || *surface == ui::Surface::smallWidget) {
    return std::unexpected(brokeProtocol("the extension's answer has an unknown presentation " + inQuotes(name)));
  }
  if (*surface == ui::Surface::islandExpanded) {
    const auto regions = presentation.find("regions");
    if (regions == presentation.end()) return std::unexpected(brokeProtocol("the extension's answer has no regions"));
    auto read = render::regionsFromJSON(nlohmann::json(*regions));
    if (!read) {
      return std::unexpected(
          brokeProtocol("the extension's regions for " + what + " do not read back: " + read.error().message));
    }
    return encoded(render::layOut(*read, assets), style, what);
  }
  auto view = viewOf(presentation, what);
  if (!view) return std::unexpected(view.error());
  return encoded(render::layOut(*view, *surface, assets), style, what);
}

}  // namespace

std::expected<std::vector<NamedPicture>, HostError> drawEntries(const Json& result, const PictureStyle& style,
                                                                const ui::Bundle& assets) {
  std::vector<const Json*> entries;
  if (const auto one = result.find("entry"); one != result.end()) {
    entries.push_back(&*one);
  } else if (const auto many = result.find("entries"); many != result.end() && many->is_array()) {
    for (const Json& entry : *many) entries.push_back(&entry);
  } else {
    return std::unexpected(brokeProtocol("the extension's answer has no entries"));
  }
  if (entries.empty()) return std::unexpected(brokeProtocol("the extension's timeline has no entries to draw"));
  std::vector<NamedPicture> out;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    const std::string what = "entry " + number;
    auto view = viewOf(*entries[i], what);
    if (!view) return std::unexpected(view.error());
    auto picture = encoded(render::layOut(*view, ui::Surface::smallWidget, assets), style, what);
    if (!picture) return std::unexpected(picture.error());
    out.push_back(NamedPicture{number, std::move(*picture)});
  }
  return out;
}

std::expected<std::vector<NamedPicture>, HostError> drawPresentations(const Json& result, const PictureStyle& style,
                                                                      const ui::Bundle& assets) {
  std::vector<const Json*> presentations;
  if (const auto all = result.find("presentations"); all != result.end()) {
    if (!all->is_array() || all->empty()) {
      return std::unexpected(brokeProtocol("the extension's answer has no presentations to draw"));
    }
    for (const Json& presentation : *all) presentations.push_back(&presentation);
  } else {
    presentations.push_back(&result);
  }
  std::vector<NamedPicture> out;
  for (const Json* presentation : presentations) {
    std::string name;
    auto picture = drawPresentation(*presentation, style, assets, name);
    if (!picture) return std::unexpected(picture.error());
    for (const NamedPicture& earlier : out) {
      if (earlier.name == name) {
        return std::unexpected(brokeProtocol("the extension's answer has the " + name + " presentation twice"));
      }
    }
    out.push_back(NamedPicture{name, std::move(*picture)});
  }
  return out;
}

}  // namespace host
