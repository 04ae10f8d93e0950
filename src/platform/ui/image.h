// Image: a picture view, either one of the platform's symbol images by name
// (`Image::systemName("play.fill")`) or an image asset of a bundle
// (`Image("background", std::nullopt)`, where no bundle means the main bundle).
//
// An Image holds its immutable content behind a shared pointer: copies of one Image
// are the same instance, which `sameInstance()` reveals, so a process-wide image built
// once can be shown to be reused. `resizable(...)` makes a new instance. Equality
// compares content. Copies may be made and read from any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/ui/bundle.h"
#include "platform/ui/edge_set.h"
#include "platform/ui/schema.h"
#include "platform/ui/view_modifiers.h"

namespace ui {

enum class ResizingMode { tile, stretch };

template <>
struct Names<ResizingMode> {
  static constexpr Named<ResizingMode> table[] = {{"tile", ResizingMode::tile}, {"stretch", ResizingMode::stretch}};
};

// How a resizable image fills the space offered: the cap insets keep their size, the
// middle is stretched or tiled.
struct Resizing {
  EdgeInsets capInsets;
  ResizingMode resizingMode = ResizingMode::stretch;

  friend bool operator==(const Resizing&, const Resizing&) = default;
};

// A symbol image of the platform, by its name.
struct SystemName {
  std::string name;

  friend bool operator==(const SystemName&, const SystemName&) = default;
};

// An image asset, by name, in a bundle (none: the main bundle).
struct NamedImage {
  std::string name;
  std::optional<Bundle> bundle;

  friend bool operator==(const NamedImage&, const NamedImage&) = default;
};

// The bundle `image` is looked up in: its own, else `assets` (none when neither is set).
inline const std::optional<Bundle>& bundleFor(const NamedImage& image, const std::optional<Bundle>& assets) {
  return image.bundle ? image.bundle : assets;
}

class Image : public ViewModifiers<Image> {
 public:
  using Source = std::variant<SystemName, NamedImage>;

  explicit Image(SystemName symbol);
  explicit Image(std::string name, std::optional<Bundle> bundle = std::nullopt);

  static Image systemName(std::string name) { return Image(SystemName{std::move(name)}); }

  // A new image that stretches (or tiles) to the space offered.
  Image resizable(EdgeInsets capInsets = {}, ResizingMode resizingMode = ResizingMode::stretch) const;

  const Source& source() const { return content_->source; }
  // Set when the image is resizable.
  const std::optional<Resizing>& resizing() const { return content_->resizing; }

  // Whether both are copies of one Image.
  bool sameInstance(const Image& other) const { return content_ == other.content_; }

  friend bool operator==(const Image& a, const Image& b) {
    return a.sameInstance(b) || (a.source() == b.source() && a.resizing() == b.resizing());
  }

 private:
  struct Content {
    Source source;
    std::optional<Resizing> resizing;
  };

  explicit Image(std::shared_ptr<const Content> content) : content_(std::move(content)) {}

  std::shared_ptr<const Content> content_;
};

// Its source and resizing have forms of their own (tree_json.cpp, tree_json_reader.cpp,
// tree_outline.cpp).
constexpr auto schema(std::type_identity<Image>) { return Schema("Image"); }

}  // namespace ui
