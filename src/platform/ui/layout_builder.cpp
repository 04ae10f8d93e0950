#include "platform/ui/layout_builder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "platform/foundation/read_file.h"
#include "platform/ui/layout_leaves.h"
#include "platform/ui/layout_modifiers.h"
#include "platform/ui/layout_text.h"
#include "platform/ui/overloaded.h"

namespace ui::elements {
namespace {

std::expected<Size, std::string> pngPixelSize(const std::filesystem::path& file) {
  const auto read = foundation::readFilePrefix(file, 24);
  if (!read) return std::unexpected("cannot be opened");
  std::array<unsigned char, 24> header{};
  std::copy(read->begin(), read->end(), header.begin());
  constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (read->size() != header.size() || !std::equal(kSignature.begin(), kSignature.end(), header.begin()) ||
      header[12] != 'I' || header[13] != 'H' || header[14] != 'D' || header[15] != 'R') {
    return std::unexpected("is not a PNG file");
  }
  const auto word = [&](std::size_t at) {
    return static_cast<std::uint32_t>(header[at]) << 24 | static_cast<std::uint32_t>(header[at + 1]) << 16 |
           static_cast<std::uint32_t>(header[at + 2]) << 8 | static_cast<std::uint32_t>(header[at + 3]);
  };
  const std::uint32_t width = word(16);
  const std::uint32_t height = word(20);
  if (width == 0 || height == 0) return std::unexpected("is a PNG file without pixels");
  return Size{static_cast<double>(width), static_cast<double>(height)};
}

ResolvedFont resolvedFont(std::optional<Font> font, std::optional<Font::Weight> weight, ContentSizeCategory size) {
  const Font::TextStyle style = font.value_or(Font::body).style;
  return ResolvedFont{pointSize(style, size), numericWeight(weight.value_or(defaultWeight(style)))};
}

std::vector<ModifierRef> modifierRefs(const View& view, const std::string& path) {
  std::vector<ModifierRef> refs;
  for (std::size_t k = 0; k < view.modifiers().size(); ++k) {
    refs.push_back(ModifierRef{&view.modifiers()[k], path + ".modifiers[" + std::to_string(k) + "]"});
  }
  return refs;
}

}  // namespace

Chain Builder::chain(const View& view, const Environment& outside, const std::vector<ModifierRef>& extra,
                     const std::string& path, int depth, int nesting, std::optional<Axis> axis) {
  std::vector<ModifierRef> modifiers = modifierRefs(view, path);
  modifiers.insert(modifiers.end(), extra.begin(), extra.end());
  const std::size_t count = modifiers.size();

  Chain out;
  out.path = path;
  out.modifierCount = count;
  out.spacer = view.as<nodes::Spacer>() != nullptr;
  nesting += 1 + static_cast<int>(count);
  if (depth > kMaxLayoutDepth || nesting > kMaxNesting) {
    fail(LayoutError::Kind::tooDeep, path,
         "the view tree is nested too deeply to lay out (at most " + std::to_string(kMaxLayoutDepth) + " views, " +
             std::to_string(kMaxNesting) + " views and modifiers on one path)");
    out.top = emptyElement();
    return out;
  }

  // The environment inside each modifier: modifier k sees what those after it set.
  std::vector<Environment> inside(count + 1);
  inside[count] = outside;
  for (std::size_t k = count; k-- > 0;) {
    inside[k] = inside[k + 1];
    enter(*modifiers[k].modifier, inside[k]);
  }

  std::unique_ptr<Element> element = node(view, inside[0], path, depth, nesting, axis);
  for (std::size_t k = 0; k < count; ++k) {
    element = modifierElement(k, *modifiers[k].modifier, std::move(element),
                              ModifierSite{*this, inside[k + 1], modifiers[k].path, depth, nesting});
  }
  out.top = std::move(element);
  return out;
}

void Builder::fail(LayoutError::Kind kind, const std::string& path, std::string message) {
  if (!error_) error_ = LayoutError{kind, path, std::move(message)};
}

std::vector<Slot> Builder::slots(std::span<const View> children, const Environment& environment,
                                 const std::vector<ModifierRef>& extra, const std::string& path, int depth, int nesting,
                                 std::optional<Axis> axis) {
  std::vector<Slot> out;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const View& child = children[i];
    const std::string childPath = path + ".children[" + std::to_string(i) + "]";
    Slot slot;
    slot.path = childPath;
    if (child.as<nodes::Conditional>() != nullptr) {
      // The group's modifiers apply to each of its views, after their own.
      std::vector<ModifierRef> inner = modifierRefs(child, childPath);
      inner.insert(inner.end(), extra.begin(), extra.end());
      if (depth + 1 > kMaxLayoutDepth) {
        fail(LayoutError::Kind::tooDeep, childPath, "the view tree is nested too deeply to lay out");
        continue;
      }
      slot.kind = Slot::Kind::conditional;
      slot.slots = slots(child.children(), environment, inner, childPath, depth + 1, nesting + 1, axis);
    } else if (child.as<nodes::Empty>() != nullptr) {
      slot.kind = Slot::Kind::empty;
      for (const Modifier& modifier : child.modifiers()) slot.modifierNames.emplace_back(name(modifier));
      for (const ModifierRef& ref : extra) slot.modifierNames.emplace_back(name(*ref.modifier));
    } else {
      slot.chain = chain(child, environment, extra, childPath, depth + 1, nesting, axis);
    }
    out.push_back(std::move(slot));
  }
  return out;
}

std::unique_ptr<Element> Builder::node(const View& view, const Environment& environment, const std::string& path,
                                       int depth, int nesting, std::optional<Axis> axis) {
  const auto stack = [&](std::string type, StackKind kind, Alignment alignment, std::optional<double> spacing,
                         std::span<const View> children, std::optional<Axis> childAxis) {
    return stackElement(std::move(type), kind, alignment, spacing,
                        slots(children, environment, {}, path, depth, nesting, childAxis));
  };
  return std::visit(
      Overloaded{
          [&](const nodes::VStack& s) {
            return stack("VStack", StackKind::vertical, Alignment{s.alignment, VerticalAlignment::center}, s.spacing,
                         s.children, Axis::vertical);
          },
          [&](const nodes::HStack& s) {
            return stack("HStack", StackKind::horizontal, Alignment{HorizontalAlignment::center, s.alignment},
                         s.spacing, s.children, Axis::horizontal);
          },
          [&](const nodes::ZStack& s) {
            return stack("ZStack", StackKind::overlapping, s.alignment, std::nullopt, s.children, std::nullopt);
          },
          [&](const nodes::Conditional& choice) {
            // Outside a stack, the chosen views are stacked vertically.
            return stack("Conditional", StackKind::vertical, Alignment::center, std::nullopt, choice.children,
                         Axis::vertical);
          },
          [&](const nodes::Button& button) {
            return buttonElement(
                chain(*button.label, environment, {}, path + ".children[0]", depth + 1, nesting, std::nullopt));
          },
          [&](const nodes::Spacer& spacer) {
            const double minLength = spacer.minLength ? clean(*spacer.minLength) : kDefaultSpacerLength;
            return spacerElement(axis, isFinite(minLength) ? minLength : kDefaultSpacerLength);
          },
          [&](const nodes::Empty&) { return emptyElement(); },
          [&](const Text& text) {
            const std::string shown =
                text.shown() ? *text.shown()
                             : context_.localizer.resolve(
                                   text.key(), text.tableName().value_or(std::string(Bundle::kDefaultTable)));
            return textElement(sanitizedText(shown),
                               resolvedFont(text.font() ? text.font() : environment.font, text.fontWeight(),
                                            context_.variant.textSize),
                               environment.foreground, context_.measurer);
          },
          [&](const Image& image) { return this->image(image, environment, path); },
          [&](const Color& color) { return fillElement("Color", PlacedContent(color)); },
          [&](const Material& material) { return fillElement("Material", PlacedContent(material)); },
      },
      view.node());
}

std::unique_ptr<Element> Builder::image(const Image& image, const Environment& environment, const std::string& path) {
  if (const auto* symbol = std::get_if<SystemName>(&image.source())) {
    const ResolvedFont font = resolvedFont(environment.font, std::nullopt, context_.variant.textSize);
    const std::optional<SymbolBox> box = symbolBox(symbol->name, font.size);
    if (!box) {
      fail(LayoutError::Kind::unknownSymbol, path,
           "unknown symbol \"" + symbol->name + "\" (known: play.fill, pause.fill, metronome)");
      return emptyElement();
    }
    return symbolElement(symbol->name, *box, font, environment.foreground);
  }
  const auto& asset = std::get<NamedImage>(image.source());
  const std::optional<Bundle>& bundle = bundleFor(asset, context_.assets);
  if (!bundle) {
    fail(LayoutError::Kind::missingImage, path,
         "image \"" + asset.name + "\" names no bundle and no asset bundle was given");
    return emptyElement();
  }
  const std::optional<std::filesystem::path> file = bundle->pathForImage(asset.name);
  if (!file) {
    fail(LayoutError::Kind::missingImage, path,
         "image \"" + asset.name + "\" not found in bundle " + bundle->path().string() + " (looked for Resources/" +
             asset.name + ".png)");
    return emptyElement();
  }
  const std::expected<Size, std::string> pixels = pngPixelSize(*file);
  if (!pixels) {
    fail(LayoutError::Kind::unreadableImage, path,
         "image \"" + asset.name + "\": " + file->string() + " " + pixels.error());
    return emptyElement();
  }
  return pictureElement(PlacedPicture{asset.name, *file, *pixels, image.resizing()});
}

}  // namespace ui::elements
