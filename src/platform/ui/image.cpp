#include "platform/ui/image.h"

#include <utility>

namespace ui {

Image::Image(SystemName symbol) : content_(std::make_shared<const Content>(Content{std::move(symbol), std::nullopt})) {}

Image::Image(std::string name, std::optional<Bundle> bundle)
    : content_(std::make_shared<const Content>(Content{NamedImage{std::move(name), std::move(bundle)}, std::nullopt})) {
}

Image Image::resizable(EdgeInsets capInsets, ResizingMode resizingMode) const {
  return Image(std::make_shared<const Content>(Content{content_->source, Resizing{capInsets, resizingMode}}));
}

}  // namespace ui
