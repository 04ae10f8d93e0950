#include "answer_pictures.h"

#include <iostream>
#include <optional>

#include "platform/ui/tree_json.h"
#include "platform/ui/tree_json_reader.h"
#include "platform/ui/tree_outline.h"
#include "quoted_text.h"

namespace host {

namespace {

HostError brokeProtocol(const std::string& message) { return HostError{ExitCode::unavailable, message}; }

// The outline of `tree`: a view's, or each region's under its position.
std::string treeOutline(const Json& tree) {
  if (!tree.is_array()) {
    auto view = ui::fromJSON(tree);
    return view ? ui::outline(*view) : "";
  }
  std::string out;
  for (const Json& region : tree) {
    const auto position = region.find("position");
    const auto view = region.find("view");
    if (position == region.end() || view == region.end()) continue;
    out += position->dump() + ":\n";
    const std::string inner = treeOutline(*view);
    for (std::size_t at = 0; at < inner.size();) {
      const std::size_t end = inner.find('\n', at) + 1;
      out += "  " + inner.substr(at, end - at);
      at = end == 0 ? inner.size() : end;
    }
  }
  return out;
}

// The picture of `holder["view"]` on `surface`; `what` names it in messages.
std::expected<PictureToDraw, HostError> viewPicture(std::string name, ui::Surface surface, const Json& holder,
                                                    const std::string& what) {
  const auto view = holder.is_object() ? holder.find("view") : holder.end();
  if (!holder.is_object() || view == holder.end()) {
    return std::unexpected(brokeProtocol("the extension's answer has no view for " + what));
  }
  return PictureToDraw{std::move(name), surface, *view, what,
                       "the extension's view for " + what + " does not read back"};
}

// Whether this one of every presentation has no place on the phone drawn for (the
// Dynamic Island's, on a phone without one): it is left out then.
bool leftOut(const Json& presentation, const PictureStyle& style) {
  if (ui::hasDynamicIsland(style.variant.device) || !presentation.is_object()) return false;
  const auto named = presentation.find("presentation");
  if (named == presentation.end() || !named->is_string()) return false;
  const std::optional<ui::Surface> surface = ui::byName<ui::Surface>(named->get<std::string>());
  return surface && ui::isIsland(*surface);
}

std::expected<PictureToDraw, HostError> presentationPicture(const Json& presentation) {
  const auto named = presentation.is_object() ? presentation.find("presentation") : presentation.end();
  if (!presentation.is_object() || named == presentation.end() || !named->is_string()) {
    return std::unexpected(brokeProtocol("the extension's answer has a presentation without a name"));
  }
  std::string name = named->get<std::string>();
  const std::string what = "the " + name + " presentation";
  const std::optional<ui::Surface> surface = ui::byName<ui::Surface>(name);
  if (!surface || !ui::isPresentation(*surface)) {
    return std::unexpected(brokeProtocol("the extension's answer has an unknown presentation " + inQuotes(name)));
  }
  if (*surface == ui::Surface::islandExpanded) {
    const auto regions = presentation.find("regions");
    if (regions == presentation.end()) return std::unexpected(brokeProtocol("the extension's answer has no regions"));
    return PictureToDraw{std::move(name), *surface, *regions, what,
                         "the extension's regions for " + what + " do not read back"};
  }
  return viewPicture(std::move(name), *surface, presentation, what);
}

// The compact island of an answer of every presentation, when it has both sides and
// the phone has an island.
std::optional<PictureToDraw> compactIslandPicture(const Json& result, const PictureStyle& style) {
  const auto all = result.find("presentations");
  if (all == result.end() || !all->is_array() || !ui::hasDynamicIsland(style.variant.device)) return std::nullopt;
  const auto side = [&](std::string_view name) -> const Json* {
    for (const Json& presentation : *all) {
      if (!presentation.is_object()) continue;
      const auto named = presentation.find("presentation");
      const auto view = presentation.find("view");
      if (named != presentation.end() && *named == name && view != presentation.end()) return &*view;
    }
    return nullptr;
  };
  const Json* leading = side(ui::name(ui::Surface::islandCompactLeading));
  const Json* trailing = side(ui::name(ui::Surface::islandCompactTrailing));
  if (leading == nullptr || trailing == nullptr) return std::nullopt;
  Json sides =
      Json::array({{{"position", "leading"}, {"view", *leading}}, {{"position", "trailing"}, {"view", *trailing}}});
  return PictureToDraw{std::string(ui::name(ui::Surface::islandCompact)), ui::Surface::islandCompact, std::move(sides),
                       "the compact island", "the extension's compact views do not read back"};
}

// Each of `pictures` drawn, in order; the first failure stops.
std::expected<std::vector<NamedPicture>, HostError> drawEach(
    const std::expected<std::vector<PictureToDraw>, HostError>& pictures, const Drawing& drawing) {
  if (!pictures) return std::unexpected(pictures.error());
  std::vector<NamedPicture> out;
  out.reserve(pictures->size());
  for (const PictureToDraw& picture : *pictures) {
    auto drawn = drawPicture(picture, drawing);
    if (!drawn) return std::unexpected(drawn.error());
    out.push_back(std::move(*drawn));
  }
  return out;
}

// The stale mark as an overlay modifier of the tree JSON, in the top trailing corner of
// the view it is put on: words, or (`small`) a dot that hides little of what is under it.
Json staleMark(bool small) {
  const ui::FrameOptions corner{
      .maxWidth = ui::kInfinity, .maxHeight = ui::kInfinity, .alignment = ui::Alignment::topTrailing};
  const ui::View mark =
      small ? ui::View(ui::Color::yellow).frame({.minWidth = 5, .maxWidth = 5, .minHeight = 5, .maxHeight = 5})
            : ui::View(ui::Text("Stale")
                           .font(ui::Font::caption2)
                           .foregroundColor(ui::Color::black)
                           .padding(ui::EdgeSet::horizontal, 4)
                           .background(ui::Color::yellow))
                  .padding(4);
  const Json holder = Json::parse(ui::toJSONText(ui::View(ui::Color::clear).overlay(mark.frame(corner))));
  return holder["modifiers"].back();
}

// Puts the stale mark on `tree`: a view, or the trailing region (else the last) of the
// regions of an island.
void markStale(Json& tree, bool small) {
  if (tree.is_array()) {
    Json* marked = nullptr;
    for (Json& region : tree) {
      if (!region.is_object() || !region.contains("view")) continue;
      if (marked == nullptr || region.value("position", Json()) == "trailing") marked = &region;
    }
    if (marked != nullptr) markStale((*marked)["view"], small);
  } else if (tree.is_object() && tree.contains("modifiers") && tree["modifiers"].is_array()) {
    tree["modifiers"].push_back(staleMark(small));
  }
}

}  // namespace

std::expected<NamedPicture, HostError> drawPicture(const PictureToDraw& picture, const Drawing& drawing) {
  auto drawn = drawing.renderer.draw(picture.surface, picture.tree.dump(), drawing.assets, drawing.style.format,
                                     drawing.style.scale, drawing.style.variant, drawing.sideBySide);
  if (drawn) {
    drawn->outline = treeOutline(picture.tree);
    return NamedPicture{picture.name, std::move(*drawn)};
  }
  if (drawn.error().kind == DrawFailure::Kind::unreadable) {
    return std::unexpected(brokeProtocol(picture.unreadable + ": " + drawn.error().message));
  }
  return std::unexpected(
      HostError{ExitCode::renderFailed, "cannot draw " + picture.what + ": " + drawn.error().message});
}

std::expected<std::vector<PictureToDraw>, HostError> entryPictures(const Json& result) {
  std::vector<const Json*> entries;
  if (const auto one = result.find("entry"); one != result.end()) {
    entries.push_back(&*one);
  } else if (const auto many = result.find("entries"); many != result.end() && many->is_array()) {
    for (const Json& entry : *many) entries.push_back(&entry);
  } else {
    return std::unexpected(brokeProtocol("the extension's answer has no entries"));
  }
  if (entries.empty()) return std::unexpected(brokeProtocol("the extension's timeline has no entries to draw"));
  std::vector<PictureToDraw> out;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    auto picture = viewPicture(number, ui::Surface::smallWidget, *entries[i], "entry " + number);
    if (!picture) return std::unexpected(picture.error());
    out.push_back(std::move(*picture));
  }
  return out;
}

std::expected<std::vector<PictureToDraw>, HostError> presentationPictures(const Json& result, const PictureStyle& style,
                                                                          bool asShown) {
  std::vector<const Json*> presentations;
  if (const auto all = result.find("presentations"); all != result.end()) {
    if (!all->is_array() || all->empty()) {
      return std::unexpected(brokeProtocol("the extension's answer has no presentations to draw"));
    }
    for (const Json& presentation : *all) {
      if (!leftOut(presentation, style)) presentations.push_back(&presentation);
    }
  } else {
    presentations.push_back(&result);
  }
  std::vector<PictureToDraw> out;
  for (const Json* presentation : presentations) {
    auto picture = presentationPicture(*presentation);
    if (!picture) return std::unexpected(picture.error());
    for (const PictureToDraw& earlier : out) {
      if (earlier.name == picture->name) {
        return std::unexpected(
            brokeProtocol("the extension's answer has the " + picture->name + " presentation twice"));
      }
    }
    out.push_back(std::move(*picture));
  }
  if (asShown) {
    if (auto compact = compactIslandPicture(result, style)) out.push_back(std::move(*compact));
  }
  return out;
}

std::expected<std::vector<NamedPicture>, HostError> drawEntries(const Json& result, const Drawing& drawing) {
  return drawEach(entryPictures(result), drawing);
}

std::expected<std::vector<NamedPicture>, HostError> drawPresentations(const Json& result, const Drawing& drawing) {
  return drawEach(presentationPictures(result, drawing.style, false), drawing);
}

std::expected<std::optional<NamedPicture>, HostError> drawCompactIsland(const Json& result, const Drawing& drawing) {
  const auto compact = compactIslandPicture(result, drawing.style);
  if (!compact) return std::nullopt;
  auto picture = drawPicture(*compact, drawing);
  if (!picture) return std::unexpected(picture.error());
  return std::move(*picture);
}

std::expected<std::vector<NamedPicture>, HostError> drawPresentationsAsShown(const Json& result,
                                                                             const Drawing& drawing) {
  return drawEach(presentationPictures(result, drawing.style, true), drawing);
}

Json markedStale(const Json& result) {
  Json marked = result;
  const auto markEach = [](Json& presentation) {
    if (!presentation.is_object()) return;
    const Json name = presentation.value("presentation", Json());
    const bool small = name != ui::name(ui::Surface::lockScreen);
    if (const auto regions = presentation.find("regions"); regions != presentation.end()) markStale(*regions, small);
    if (const auto view = presentation.find("view"); view != presentation.end()) markStale(*view, small);
  };
  if (const auto all = marked.find("presentations"); all != marked.end() && all->is_array()) {
    for (Json& presentation : *all) markEach(presentation);
  } else {
    markEach(marked);
  }
  return marked;
}

std::expected<std::vector<NamedPicture>, HostError> drawStalePresentations(const Json& result, const Drawing& drawing) {
  return drawPresentations(markedStale(result), drawing);
}

std::expected<void, HostError> reportProblems(const std::vector<WrittenPicture>& written, bool strict) {
  std::size_t count = 0;
  for (const WrittenPicture& picture : written) {
    for (const std::string& problem : picture.problems) {
      std::cerr << "widget-host: " << ui::withControlsEscaped(picture.file.string() + ": " + problem) << '\n';
      ++count;
    }
  }
  std::cerr << std::flush;
  if (!strict || count == 0) return {};
  return std::unexpected(
      HostError{ExitCode::doesNotFit,
                std::to_string(count) + (count == 1 ? " view does not fit" : " views do not fit") + " (--strict)"});
}

}  // namespace host
