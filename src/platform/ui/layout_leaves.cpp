#include "platform/ui/layout_leaves.h"

#include <algorithm>
#include <utility>

#include "platform/ui/layout_text.h"

namespace ui::elements {
namespace {

class TextElement final : public Element {
 public:
  TextElement(std::string shown, ResolvedFont font, Color color, TextMeasurer& measurer)
      : shown_(std::move(shown)), font_(font), color_(color), measurer_(measurer) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    const TextLayout layout = layOutText(shown_, font_, proposal, measurer_);
    PlacedText text{shown_, {}, font_, color_, layout.truncated};
    const double lineHeight = layout.metrics.lineHeight();
    double y = bounds.y;
    for (const TextLine& line : layout.lines) {
      text.lines.push_back(PlacedLine{line.text, Rect{bounds.x, y, line.width, lineHeight}, y + layout.metrics.ascent});
      y += lineHeight;
    }
    out.type = "Text";
    out.frame = bounds;
    out.content = std::move(text);
  }

 protected:
  Size measure(ProposedSize proposal) override { return layOutText(shown_, font_, proposal, measurer_).size(); }

 private:
  std::string shown_;
  ResolvedFont font_;
  Color color_;
  TextMeasurer& measurer_;
};

class SymbolElement final : public Element {
 public:
  SymbolElement(std::string name, SymbolBox box, ResolvedFont font, Color color)
      : name_(std::move(name)), box_(box), font_(font), color_(color) {}

  void place(ProposedSize, Rect bounds, PlacedView& out) override {
    out.type = "Image";
    out.frame = bounds;
    const Rect glyph{bounds.x + box_.glyph.x, bounds.y + box_.glyph.y, box_.glyph.width, box_.glyph.height};
    out.content = PlacedSymbol{name_, font_, glyph, color_};
  }

 protected:
  Size measure(ProposedSize) override { return box_.frame; }

 private:
  std::string name_;
  SymbolBox box_;
  ResolvedFont font_;
  Color color_;
};

class PictureElement final : public Element {
 public:
  explicit PictureElement(PlacedPicture picture) : picture_(std::move(picture)) {}

  void place(ProposedSize, Rect bounds, PlacedView& out) override {
    out.type = "Image";
    out.frame = bounds;
    out.content = picture_;
  }

 protected:
  Size measure(ProposedSize proposal) override {
    if (!picture_.resizing) return picture_.pixelSize;
    return Size{proposal.width.value_or(picture_.pixelSize.width), proposal.height.value_or(picture_.pixelSize.height)};
  }

 private:
  PlacedPicture picture_;
};

class FillElement final : public Element {
 public:
  FillElement(std::string type, PlacedContent content) : type_(std::move(type)), content_(std::move(content)) {}

  void place(ProposedSize, Rect bounds, PlacedView& out) override {
    out.type = type_;
    out.frame = bounds;
    out.content = content_;
  }

 protected:
  Size measure(ProposedSize proposal) override {
    return Size{proposal.width.value_or(kUnproposedFill), proposal.height.value_or(kUnproposedFill)};
  }

 private:
  std::string type_;
  PlacedContent content_;
};

class SpacerElement final : public Element {
 public:
  SpacerElement(std::optional<Axis> axis, double minLength) : axis_(axis), minLength_(minLength) {}

  void place(ProposedSize, Rect bounds, PlacedView& out) override {
    out.type = "Spacer";
    out.frame = bounds;
  }

 protected:
  // Along its stack's axis a spacer takes what it is offered, never less than its
  // minimum; across it, nothing.
  Size measure(ProposedSize proposal) override {
    const double width = std::max(minLength_, proposal.width.value_or(minLength_));
    const double height = std::max(minLength_, proposal.height.value_or(minLength_));
    if (axis_ == Axis::vertical) return Size{0, height};
    if (axis_ == Axis::horizontal) return Size{width, 0};
    return Size{width, height};
  }

 private:
  std::optional<Axis> axis_;
  double minLength_;
};

class EmptyElement final : public Element {
 public:
  void place(ProposedSize, Rect bounds, PlacedView& out) override {
    out.type = "Empty";
    out.frame = Rect{bounds.x, bounds.y, 0, 0};
  }

 protected:
  Size measure(ProposedSize) override { return Size{}; }
};

}  // namespace

std::unique_ptr<Element> textElement(std::string shown, ResolvedFont font, Color color, TextMeasurer& measurer) {
  return std::make_unique<TextElement>(std::move(shown), font, color, measurer);
}

std::unique_ptr<Element> symbolElement(std::string name, SymbolBox box, ResolvedFont font, Color color) {
  return std::make_unique<SymbolElement>(std::move(name), box, font, color);
}

std::unique_ptr<Element> pictureElement(PlacedPicture picture) {
  return std::make_unique<PictureElement>(std::move(picture));
}

std::unique_ptr<Element> fillElement(std::string type, PlacedContent content) {
  return std::make_unique<FillElement>(std::move(type), std::move(content));
}

std::unique_ptr<Element> spacerElement(std::optional<Axis> axis, double minLength) {
  return std::make_unique<SpacerElement>(axis, minLength);
}

std::unique_ptr<Element> emptyElement() { return std::make_unique<EmptyElement>(); }

}  // namespace ui::elements
