#include "platform/ui/layout_result.h"

namespace ui {
namespace {

// Drawing order: backgrounds (innermost modifier first), the node, its children,
// then overlays. Modifier k wraps modifiers 0 ... k-1, so background k lies under
// everything of lower index and overlay k over it.
void visitLayers(const PlacedView& view, std::size_t count, const std::function<void(const PlacedView&)>& visit) {
  if (count == 0) {
    visit(view);
    for (const PlacedView& child : view.children) child.forEach(visit);
    return;
  }
  const PlacedModifier& modifier = view.modifiers[count - 1];
  if (modifier.name == "background") {
    for (const PlacedView& content : modifier.content) content.forEach(visit);
  }
  visitLayers(view, count - 1, visit);
  if (modifier.name == "overlay") {
    for (const PlacedView& content : modifier.content) content.forEach(visit);
  }
}

}  // namespace

void PlacedView::forEach(const std::function<void(const PlacedView&)>& visit) const {
  visitLayers(*this, modifiers.size(), visit);
}

const PlacedView* PlacedView::find(const std::function<bool(const PlacedView&)>& matches) const {
  const PlacedView* found = nullptr;
  forEach([&](const PlacedView& view) {
    if (found == nullptr && matches(view)) found = &view;
  });
  return found;
}

void LayoutResult::forEach(const std::function<void(const PlacedView&)>& visit) const {
  for (const PlacedRegion& region : regions) region.view.forEach(visit);
}

const PlacedView* LayoutResult::find(const std::function<bool(const PlacedView&)>& matches) const {
  for (const PlacedRegion& region : regions) {
    if (const PlacedView* found = region.view.find(matches)) return found;
  }
  return nullptr;
}

const PlacedView* LayoutResult::findText(std::string_view shown) const {
  return find([&](const PlacedView& view) {
    const auto* text = std::get_if<PlacedText>(&view.content);
    return text != nullptr && text->shown == shown;
  });
}

const PlacedView* LayoutResult::findImage(std::string_view name) const {
  return find([&](const PlacedView& view) {
    if (const auto* symbol = std::get_if<PlacedSymbol>(&view.content)) return symbol->name == name;
    if (const auto* picture = std::get_if<PlacedPicture>(&view.content)) return picture->name == name;
    return false;
  });
}

}  // namespace ui
