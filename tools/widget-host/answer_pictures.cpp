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

// `tree` (a view, or the expanded island's regions) drawn on `surface`. `what` names
// it in messages; `unreadable` says what of it did not read back.
std::expected<Picture, HostError> drawn(const Drawing& drawing, ui::Surface surface, const Json& tree,
                                        const std::string& what, const std::string& unreadable) {
  auto picture = drawing.renderer.draw(surface, tree.dump(), drawing.assets, drawing.style.format, drawing.style.scale,
                                       drawing.style.variant, drawing.sideBySide);
  if (picture) {
    picture->outline = treeOutline(tree);
    return std::move(*picture);
  }
  if (picture.error().kind == DrawFailure::Kind::unreadable) {
    return std::unexpected(brokeProtocol(unreadable + ": " + picture.error().message));
  }
  return std::unexpected(HostError{ExitCode::renderFailed, "cannot draw " + what + ": " + picture.error().message});
}

// The tree of `holder["view"]` drawn on `surface`; `what` names it in messages.
std::expected<Picture, HostError> drawView(const Drawing& drawing, ui::Surface surface, const Json& holder,
                                           const std::string& what) {
  const auto view = holder.is_object() ? holder.find("view") : holder.end();
  if (!holder.is_object() || view == holder.end()) {
    return std::unexpected(brokeProtocol("the extension's answer has no view for " + what));
  }
  return drawn(drawing, surface, *view, what, "the extension's view for " + what + " does not read back");
}

// Whether this one of every presentation has no place on the phone drawn for (the
// Dynamic Island's, on a phone without one): it is left out then.
bool leftOut(const Json& presentation, const Drawing& drawing) {
  if (ui::hasDynamicIsland(drawing.style.variant.device) || !presentation.is_object()) return false;
  const auto named = presentation.find("presentation");
  if (named == presentation.end() || !named->is_string()) return false;
  const std::optional<ui::Surface> surface = ui::byName<ui::Surface>(named->get<std::string>());
  return surface && ui::isIsland(*surface);
}

std::expected<Picture, HostError> drawPresentation(const Json& presentation, const Drawing& drawing,
                                                   std::string& name) {
  const auto named = presentation.is_object() ? presentation.find("presentation") : presentation.end();
  if (!presentation.is_object() || named == presentation.end() || !named->is_string()) {
    return std::unexpected(brokeProtocol("the extension's answer has a presentation without a name"));
  }
  name = named->get<std::string>();
  const std::string what = "the " + name + " presentation";
  const std::optional<ui::Surface> surface = ui::byName<ui::Surface>(name);
  if (!surface || !ui::isPresentation(*surface)) {
    return std::unexpected(brokeProtocol("the extension's answer has an unknown presentation " + inQuotes(name)));
  }
  if (*surface == ui::Surface::islandExpanded) {
    const auto regions = presentation.find("regions");
    if (regions == presentation.end()) return std::unexpected(brokeProtocol("the extension's answer has no regions"));
    return drawn(drawing, *surface, *regions, what, "the extension's regions for " + what + " do not read back");
  }
  return drawView(drawing, *surface, presentation, what);
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

std::expected<std::vector<NamedPicture>, HostError> drawEntries(const Json& result, const Drawing& drawing) {
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
    auto picture = drawView(drawing, ui::Surface::smallWidget, *entries[i], what);
    if (!picture) return std::unexpected(picture.error());
    out.push_back(NamedPicture{number, std::move(*picture)});
  }
  return out;
}

std::expected<std::vector<NamedPicture>, HostError> drawPresentations(const Json& result, const Drawing& drawing) {
  std::vector<const Json*> presentations;
  if (const auto all = result.find("presentations"); all != result.end()) {
    if (!all->is_array() || all->empty()) {
      return std::unexpected(brokeProtocol("the extension's answer has no presentations to draw"));
    }
    for (const Json& presentation : *all) {
      if (!leftOut(presentation, drawing)) presentations.push_back(&presentation);
    }
  } else {
    presentations.push_back(&result);
  }
  std::vector<NamedPicture> out;
  for (const Json* presentation : presentations) {
    std::string name;
    auto picture = drawPresentation(*presentation, drawing, name);
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

std::expected<std::optional<NamedPicture>, HostError> drawCompactIsland(const Json& result, const Drawing& drawing) {
  const auto all = result.find("presentations");
  if (all == result.end() || !all->is_array() || !ui::hasDynamicIsland(drawing.style.variant.device)) {
    return std::nullopt;
  }
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
  const Json sides =
      Json::array({{{"position", "leading"}, {"view", *leading}}, {{"position", "trailing"}, {"view", *trailing}}});
  auto picture = drawn(drawing, ui::Surface::islandCompact, sides, "the compact island",
                       "the extension's compact views do not read back");
  if (!picture) return std::unexpected(picture.error());
  return NamedPicture{std::string(ui::name(ui::Surface::islandCompact)), std::move(*picture)};
}

std::expected<std::vector<NamedPicture>, HostError> drawPresentationsAsShown(const Json& result,
                                                                             const Drawing& drawing) {
  auto pictures = drawPresentations(result, drawing);
  if (!pictures) return pictures;
  auto compact = drawCompactIsland(result, drawing);
  if (!compact) return std::unexpected(compact.error());
  if (*compact) pictures->push_back(std::move(**compact));
  return pictures;
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
