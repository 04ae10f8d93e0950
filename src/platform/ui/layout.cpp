#include "platform/ui/layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <numeric>
#include <utility>

#include "platform/ui/layout_symbol.h"
#include "platform/ui/layout_text.h"
#include "platform/ui/overloaded.h"

namespace ui {
namespace {

// Colours and materials offered nothing take this square, as the platform's shapes do.
constexpr double kUnproposedFill = 10;
// Views and modifiers along one path; bounds the recursion of every pass.
constexpr int kMaxNesting = 4096;
// Remembered sizes per element; proposals repeat a few at a time, so a small list will do.
constexpr std::size_t kMemoEntries = 48;

enum class Axis { vertical, horizontal };

// What flows from a view to everything inside it.
struct Environment {
  std::optional<Font> font;
  Color foreground = Color::primary;
};

bool isFinite(double value) { return std::isfinite(value); }

double clean(double value) { return std::isnan(value) || value < 0 ? 0 : value; }

ProposedSize cleaned(ProposedSize proposal) {
  if (proposal.width) proposal.width = clean(*proposal.width);
  if (proposal.height) proposal.height = clean(*proposal.height);
  return proposal;
}

// A size chosen while probing may be infinite; where it must be drawn, the space
// offered stands in.
Size finiteIn(Size size, Size limit) {
  if (!isFinite(size.width)) size.width = isFinite(limit.width) ? limit.width : 0;
  if (!isFinite(size.height)) size.height = isFinite(limit.height) ? limit.height : 0;
  return size;
}

double alignedOffset(double available, double length, int position) {  // position: 0 start, 1 center, 2 end
  if (position == 0) return 0;
  if (position == 1) return (available - length) / 2;
  return available - length;
}

int position(HorizontalAlignment alignment) {
  return alignment == HorizontalAlignment::leading ? 0 : alignment == HorizontalAlignment::center ? 1 : 2;
}
int position(VerticalAlignment alignment) {
  return alignment == VerticalAlignment::top ? 0 : alignment == VerticalAlignment::center ? 1 : 2;
}

Rect aligned(Size size, Rect bounds, Alignment alignment) {
  return Rect{bounds.x + alignedOffset(bounds.width, size.width, position(alignment.horizontal)),
              bounds.y + alignedOffset(bounds.height, size.height, position(alignment.vertical)), size.width,
              size.height};
}

// ---- Elements: one per node and per modifier, each wrapping what it modifies.

class Element {
 public:
  virtual ~Element() = default;

  Size size(ProposedSize proposal) {
    proposal = cleaned(proposal);
    for (const auto& [asked, answer] : memo_) {
      if (asked == proposal) return answer;
    }
    const Size answer = measure(proposal);
    if (memo_.size() >= kMemoEntries) memo_.clear();
    memo_.emplace_back(proposal, answer);
    return answer;
  }

  // Records this element's part of `out` for the frame `bounds` it was given after
  // being offered `proposal`, and places what it contains.
  virtual void place(ProposedSize proposal, Rect bounds, PlacedView& out) = 0;

 protected:
  virtual Size measure(ProposedSize proposal) = 0;

 private:
  std::vector<std::pair<ProposedSize, Size>> memo_;
};

// A view: its node wrapped in its modifiers.
struct Chain {
  std::unique_ptr<Element> top;
  std::size_t modifierCount = 0;
  bool spacer = false;
};

PlacedView placeChain(Chain& chain, ProposedSize proposal, Rect bounds) {
  PlacedView out;
  out.modifiers.resize(chain.modifierCount);
  chain.top->place(cleaned(proposal), bounds, out);
  return out;
}

// A view as its parent stack holds it: a view, a Conditional's group, or Empty.
struct Slot {
  enum class Kind { view, conditional, empty } kind = Kind::view;
  Chain chain;                             // view
  std::vector<Slot> slots;                 // conditional
  std::vector<std::string> modifierNames;  // empty: its modifiers, for the result
  std::size_t item = 0;                    // view: index among the stack's items
};

// ---- Leaves

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

// A colour or a material: fills what it is offered.
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

// ---- Containers

class StackElement final : public Element {
 public:
  enum class Kind { vertical, horizontal, overlapping };

  StackElement(std::string type, Kind kind, Alignment alignment, std::optional<double> spacing, std::vector<Slot> slots)
      : type_(std::move(type)), kind_(kind), alignment_(alignment), spacing_(spacing), slots_(std::move(slots)) {
    collect(slots_);
  }

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    const Distribution shares = distribute(proposal);
    rects_.assign(items_.size(), Rect{});
    double cursor = kind_ == Kind::horizontal ? bounds.x : bounds.y;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const Size size = finiteIn(shares.sizes[i], bounds.size());
      Rect rect;
      if (kind_ == Kind::vertical) {
        rect = Rect{bounds.x + alignedOffset(bounds.width, size.width, position(alignment_.horizontal)), cursor,
                    size.width, size.height};
        cursor += size.height + gapAfter(i);
      } else if (kind_ == Kind::horizontal) {
        rect = Rect{cursor, bounds.y + alignedOffset(bounds.height, size.height, position(alignment_.vertical)),
                    size.width, size.height};
        cursor += size.width + gapAfter(i);
      } else {
        rect = aligned(size, bounds, alignment_);
      }
      rects_[i] = rect;
    }
    proposals_ = shares.proposals;
    out.type = type_;
    out.frame = bounds;
    Rect previous{bounds.x, bounds.y, 0, 0};
    out.children = placeSlots(slots_, previous);
  }

 protected:
  Size measure(ProposedSize proposal) override { return distribute(proposal).total; }

 private:
  struct Distribution {
    std::vector<ProposedSize> proposals;
    std::vector<Size> sizes;
    Size total;
  };

  void collect(std::vector<Slot>& slots) {
    for (Slot& slot : slots) {
      if (slot.kind == Slot::Kind::view) {
        slot.item = items_.size();
        items_.push_back(&slot.chain);
      } else if (slot.kind == Slot::Kind::conditional) {
        collect(slot.slots);
      }
    }
  }

  // The gap between item i and the next: the stack's spacing, or by default 8
  // except next to a spacer, whose minimum length stands for the gap.
  double gapAfter(std::size_t i) const {
    if (kind_ == Kind::overlapping || i + 1 >= items_.size()) return 0;
    if (spacing_) return *spacing_;
    return items_[i]->spacer || items_[i + 1]->spacer ? 0 : kDefaultSpacing;
  }

  double along(Size size) const { return kind_ == Kind::vertical ? size.height : size.width; }
  double across(Size size) const { return kind_ == Kind::vertical ? size.width : size.height; }
  ProposedSize proposing(std::optional<double> length, std::optional<double> crossLength) const {
    return kind_ == Kind::vertical ? ProposedSize{crossLength, length} : ProposedSize{length, crossLength};
  }

  Distribution distribute(ProposedSize proposal) {
    Distribution out;
    const std::size_t count = items_.size();
    out.proposals.assign(count, proposal);
    out.sizes.assign(count, Size{});
    if (count == 0) return out;

    if (kind_ == Kind::overlapping) {
      for (std::size_t i = 0; i < count; ++i) {
        out.sizes[i] = items_[i]->top->size(proposal);
        out.total.width = std::max(out.total.width, out.sizes[i].width);
        out.total.height = std::max(out.total.height, out.sizes[i].height);
      }
      return out;
    }

    const std::optional<double> offered = kind_ == Kind::vertical ? proposal.height : proposal.width;
    const std::optional<double> crossOffered = kind_ == Kind::vertical ? proposal.width : proposal.height;
    double gaps = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) gaps += gapAfter(i);

    if (!offered) {
      for (std::size_t i = 0; i < count; ++i) {
        out.proposals[i] = proposing(std::nullopt, crossOffered);
        out.sizes[i] = items_[i]->top->size(out.proposals[i]);
      }
    } else {
      // The least flexible child is sized first; each takes its share of what is left.
      std::vector<double> flexibility(count);
      for (std::size_t i = 0; i < count; ++i) {
        const double largest =
            along(items_[i]->top->size(proposing(std::numeric_limits<double>::infinity(), crossOffered)));
        const double smallest = along(items_[i]->top->size(proposing(0.0, crossOffered)));
        flexibility[i] = isFinite(largest) ? largest - smallest : std::numeric_limits<double>::infinity();
      }
      std::vector<std::size_t> order(count);
      std::iota(order.begin(), order.end(), std::size_t{0});
      std::ranges::stable_sort(order, [&](std::size_t a, std::size_t b) { return flexibility[a] < flexibility[b]; });
      double remaining = *offered - gaps;
      for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = order[k];
        const double share = remaining > 0 ? remaining / static_cast<double>(count - k) : 0;
        out.proposals[i] = proposing(share, crossOffered);
        out.sizes[i] = items_[i]->top->size(out.proposals[i]);
        remaining -= along(out.sizes[i]);
      }
    }

    double length = gaps;
    double breadth = 0;
    for (const Size& size : out.sizes) {
      length += along(size);
      breadth = std::max(breadth, across(size));
    }
    out.total = kind_ == Kind::vertical ? Size{breadth, length} : Size{length, breadth};
    return out;
  }

  // The result for `slots`, their frames taken from rects_; `previous` is the frame
  // of the view placed last, where an Empty is put.
  std::vector<PlacedView> placeSlots(std::vector<Slot>& slots, Rect& previous) {
    std::vector<PlacedView> placed;
    for (Slot& slot : slots) {
      const Rect here = kind_ == Kind::vertical     ? Rect{previous.x, previous.maxY(), 0, 0}
                        : kind_ == Kind::horizontal ? Rect{previous.maxX(), previous.y, 0, 0}
                                                    : Rect{previous.x, previous.y, 0, 0};
      switch (slot.kind) {
        case Slot::Kind::view: {
          placed.push_back(placeChain(slot.chain, proposals_[slot.item], rects_[slot.item]));
          previous = rects_[slot.item];
          break;
        }
        case Slot::Kind::empty: {
          PlacedView empty;
          empty.type = "Empty";
          empty.frame = here;
          for (const std::string& name : slot.modifierNames)
            empty.modifiers.push_back(PlacedModifier{name, here, 1, {}});
          placed.push_back(std::move(empty));
          break;
        }
        case Slot::Kind::conditional: {
          PlacedView group;
          group.type = "Conditional";
          group.children = placeSlots(slot.slots, previous);
          group.frame = here;
          bool first = true;
          for (const PlacedView& child : group.children) {
            if (child.type == "Empty") continue;
            group.frame = first ? child.outerFrame() : Rect::unionOf(group.frame, child.outerFrame());
            first = false;
          }
          placed.push_back(std::move(group));
          break;
        }
      }
    }
    return placed;
  }

  std::string type_;
  Kind kind_;
  Alignment alignment_;
  std::optional<double> spacing_;
  std::vector<Slot> slots_;
  std::vector<Chain*> items_;
  std::vector<Rect> rects_;
  std::vector<ProposedSize> proposals_;
};

class ButtonElement final : public Element {
 public:
  explicit ButtonElement(Chain label) : label_(std::move(label)) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    out.type = "Button";
    out.frame = bounds;
    out.children.push_back(placeChain(label_, proposal, bounds));
  }

 protected:
  Size measure(ProposedSize proposal) override { return label_.top->size(proposal); }

 private:
  Chain label_;
};

// ---- Modifiers

class ModifierElement : public Element {
 public:
  ModifierElement(std::size_t index, std::string name, std::unique_ptr<Element> inner)
      : index_(index), name_(std::move(name)), inner_(std::move(inner)) {}

 protected:
  PlacedModifier& record(PlacedView& out, Rect bounds) {
    PlacedModifier& modifier = out.modifiers[index_];
    modifier.name = name_;
    modifier.frame = bounds;
    return modifier;
  }

  Element& inner() { return *inner_; }

 private:
  std::size_t index_;
  std::string name_;
  std::unique_ptr<Element> inner_;
};

// Modifiers that change nothing in layout: font, foregroundColor, opacity, buttonStyle.
class PassingElement final : public ModifierElement {
 public:
  PassingElement(std::size_t index, std::string name, std::unique_ptr<Element> inner, double opacity)
      : ModifierElement(index, std::move(name), std::move(inner)), opacity_(opacity) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    record(out, bounds).opacity = opacity_;
    inner().place(proposal, bounds, out);
  }

 protected:
  Size measure(ProposedSize proposal) override { return inner().size(proposal); }

 private:
  double opacity_;
};

class PaddingElement final : public ModifierElement {
 public:
  PaddingElement(std::size_t index, std::unique_ptr<Element> inner, EdgeInsets insets)
      : ModifierElement(index, "padding", std::move(inner)), insets_(insets) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    record(out, bounds);
    const ProposedSize innerProposal = inset(proposal);
    const Size size = finiteIn(inner().size(innerProposal), bounds.size());
    inner().place(innerProposal, Rect{bounds.x + insets_.leading, bounds.y + insets_.top, size.width, size.height},
                  out);
  }

 protected:
  Size measure(ProposedSize proposal) override {
    const Size size = inner().size(inset(proposal));
    return Size{size.width + insets_.leading + insets_.trailing, size.height + insets_.top + insets_.bottom};
  }

 private:
  ProposedSize inset(ProposedSize proposal) const {
    if (proposal.width) proposal.width = std::max(0.0, *proposal.width - insets_.leading - insets_.trailing);
    if (proposal.height) proposal.height = std::max(0.0, *proposal.height - insets_.top - insets_.bottom);
    return proposal;
  }

  EdgeInsets insets_;
};

class FrameElement final : public ModifierElement {
 public:
  FrameElement(std::size_t index, std::unique_ptr<Element> inner, FrameOptions options)
      : ModifierElement(index, "frame", std::move(inner)), options_(options) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    record(out, bounds);
    const ProposedSize offered = childProposal(proposal);
    const Size size = finiteIn(inner().size(offered), bounds.size());
    inner().place(offered, aligned(size, bounds, options_.alignment), out);
  }

 protected:
  Size measure(ProposedSize proposal) override {
    const Size child = inner().size(childProposal(proposal));
    return Size{chosen(proposal.width, child.width, options_.minWidth, options_.idealWidth, options_.maxWidth),
                chosen(proposal.height, child.height, options_.minHeight, options_.idealHeight, options_.maxHeight)};
  }

 private:
  static std::optional<double> limited(std::optional<double> offered, std::optional<double> min,
                                       std::optional<double> ideal, std::optional<double> max) {
    if (!offered) offered = ideal;
    if (offered && min) offered = std::max(*min, *offered);
    if (offered && max) offered = std::min(*max, *offered);
    return offered;
  }

  ProposedSize childProposal(ProposedSize proposal) const {
    return ProposedSize{limited(proposal.width, options_.minWidth, options_.idealWidth, options_.maxWidth),
                        limited(proposal.height, options_.minHeight, options_.idealHeight, options_.maxHeight)};
  }

  // The frame's length on one axis: the child's, pulled towards what was offered
  // as far as the limits allow.
  static double chosen(std::optional<double> offered, double child, std::optional<double> min,
                       std::optional<double> ideal, std::optional<double> max) {
    if (!min && !max) return !offered && ideal ? *ideal : child;
    const double preferred = offered ? *offered : ideal ? *ideal : child;
    double length = child;
    if (min) length = std::max(*min, std::min(length, preferred));
    if (max) length = std::min(*max, std::max(length, preferred));
    return length;
  }

  FrameOptions options_;
};

class AspectRatioElement final : public ModifierElement {
 public:
  AspectRatioElement(std::size_t index, std::unique_ptr<Element> inner, std::optional<double> ratio, ContentMode mode)
      : ModifierElement(index, "aspectRatio", std::move(inner)), ratio_(ratio), mode_(mode) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    record(out, bounds);
    const ProposedSize offered = childProposal(proposal);
    const Size size = finiteIn(inner().size(offered), bounds.size());
    inner().place(offered, aligned(size, bounds, Alignment::center), out);
  }

 protected:
  Size measure(ProposedSize proposal) override { return inner().size(childProposal(proposal)); }

 private:
  double ratio() {
    if (ratio_ && *ratio_ > 0 && isFinite(*ratio_)) return *ratio_;
    const Size ideal = inner().size(ProposedSize::ideal());
    if (ideal.width > 0 && ideal.height > 0 && isFinite(ideal.width) && isFinite(ideal.height)) {
      return ideal.width / ideal.height;
    }
    return 1;
  }

  ProposedSize childProposal(ProposedSize proposal) {
    const double r = ratio();
    if (!proposal.width && !proposal.height) {
      if (!ratio_) return proposal;
      const Size ideal = inner().size(ProposedSize::ideal());
      return ProposedSize{ideal.width, ideal.width / r};
    }
    if (!proposal.height) return ProposedSize{*proposal.width, *proposal.width / r};
    if (!proposal.width) return ProposedSize{*proposal.height * r, *proposal.height};
    const double byHeight = *proposal.height * r;
    const double width =
        mode_ == ContentMode::fit ? std::min(*proposal.width, byHeight) : std::max(*proposal.width, byHeight);
    return ProposedSize{width, width / r};
  }

  std::optional<double> ratio_;
  ContentMode mode_;
};

// .background and .overlay: the view's size; the content offered exactly that.
class DecorationElement final : public ModifierElement {
 public:
  DecorationElement(std::size_t index, std::string name, std::unique_ptr<Element> inner, Chain content,
                    Alignment alignment)
      : ModifierElement(index, std::move(name), std::move(inner)),
        content_(std::move(content)),
        alignment_(alignment) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    PlacedModifier& modifier = record(out, bounds);
    const ProposedSize offered = ProposedSize::of(bounds.size());
    const Size size = finiteIn(content_.top->size(offered), bounds.size());
    modifier.content.push_back(placeChain(content_, offered, aligned(size, bounds, alignment_)));
    inner().place(proposal, bounds, out);
  }

 protected:
  Size measure(ProposedSize proposal) override { return inner().size(proposal); }

 private:
  Chain content_;
  Alignment alignment_;
};

// ---- Building elements from a view tree

std::expected<Size, std::string> pngPixelSize(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::unexpected("cannot be opened");
  std::array<unsigned char, 24> header{};
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (in.gcount() != static_cast<std::streamsize>(header.size()) ||
      !std::equal(kSignature.begin(), kSignature.end(), header.begin()) || header[12] != 'I' || header[13] != 'H' ||
      header[14] != 'D' || header[15] != 'R') {
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

ResolvedFont resolvedFont(std::optional<Font> font, std::optional<Font::Weight> weight) {
  const Font::TextStyle style = font.value_or(Font::body).style;
  return ResolvedFont{pointSize(style), numericWeight(weight.value_or(defaultWeight(style)))};
}

EdgeInsets insets(EdgeSet edges, double length) {
  return EdgeInsets{edges.contains(Edge::top) ? length : 0, edges.contains(Edge::leading) ? length : 0,
                    edges.contains(Edge::bottom) ? length : 0, edges.contains(Edge::trailing) ? length : 0};
}

// A modifier with where it was written, for error messages.
struct ModifierRef {
  const Modifier* modifier;
  std::string path;
};

class Builder {
 public:
  explicit Builder(const LayoutContext& context) : context_(context) {}

  const std::optional<LayoutError>& error() const { return error_; }

  // The chain for `view`; `extra` are modifiers of enclosing conditionals, applied
  // after the view's own. `axis` is the stack the view is a child of, if any.
  Chain chain(const View& view, const Environment& outside, const std::vector<ModifierRef>& extra,
              const std::string& path, int depth, int nesting, std::optional<Axis> axis) {
    std::vector<ModifierRef> modifiers;
    for (std::size_t k = 0; k < view.modifiers().size(); ++k) {
      modifiers.push_back(ModifierRef{&view.modifiers()[k], path + ".modifiers[" + std::to_string(k) + "]"});
    }
    modifiers.insert(modifiers.end(), extra.begin(), extra.end());
    const std::size_t count = modifiers.size();

    Chain out;
    out.modifierCount = count;
    out.spacer = view.as<nodes::Spacer>() != nullptr;
    nesting += 1 + static_cast<int>(count);
    if (depth > kMaxLayoutDepth || nesting > kMaxNesting) {
      fail(LayoutError::Kind::tooDeep, path,
           "the view tree is nested too deeply to lay out (at most " + std::to_string(kMaxLayoutDepth) + " views, " +
               std::to_string(kMaxNesting) + " views and modifiers on one path)");
      out.top = std::make_unique<EmptyElement>();
      return out;
    }

    // The environment inside each modifier: modifier k sees what those after it set.
    std::vector<Environment> inside(count + 1);
    inside[count] = outside;
    for (std::size_t k = count; k-- > 0;) {
      inside[k] = inside[k + 1];
      if (const auto* font = std::get_if<FontModifier>(modifiers[k].modifier)) inside[k].font = font->font;
      if (const auto* color = std::get_if<ForegroundColorModifier>(modifiers[k].modifier)) {
        inside[k].foreground = color->color;
      }
    }

    std::unique_ptr<Element> element = node(view, inside[0], path, depth, nesting, axis);
    for (std::size_t k = 0; k < count; ++k) {
      element = wrap(k, *modifiers[k].modifier, std::move(element), inside[k + 1], modifiers[k].path, depth, nesting);
    }
    out.top = std::move(element);
    return out;
  }

 private:
  void fail(LayoutError::Kind kind, const std::string& path, std::string message) {
    if (!error_) error_ = LayoutError{kind, path, std::move(message)};
  }

  std::vector<Slot> slots(std::span<const View> children, const Environment& environment,
                          const std::vector<ModifierRef>& extra, const std::string& path, int depth, int nesting,
                          std::optional<Axis> axis) {
    std::vector<Slot> out;
    for (std::size_t i = 0; i < children.size(); ++i) {
      const View& child = children[i];
      const std::string childPath = path + ".children[" + std::to_string(i) + "]";
      Slot slot;
      if (child.as<nodes::Conditional>() != nullptr) {
        // The group's modifiers apply to each of its views, after their own.
        std::vector<ModifierRef> inner;
        for (std::size_t k = 0; k < child.modifiers().size(); ++k) {
          inner.push_back(ModifierRef{&child.modifiers()[k], childPath + ".modifiers[" + std::to_string(k) + "]"});
        }
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

  std::unique_ptr<Element> node(const View& view, const Environment& environment, const std::string& path, int depth,
                                int nesting, std::optional<Axis> axis) {
    return std::visit(
        Overloaded{
            [&](const nodes::VStack& stack) -> std::unique_ptr<Element> {
              return std::make_unique<StackElement>(
                  "VStack", StackElement::Kind::vertical, Alignment{stack.alignment, VerticalAlignment::center},
                  stack.spacing, slots(stack.children, environment, {}, path, depth, nesting, Axis::vertical));
            },
            [&](const nodes::HStack& stack) -> std::unique_ptr<Element> {
              return std::make_unique<StackElement>(
                  "HStack", StackElement::Kind::horizontal, Alignment{HorizontalAlignment::center, stack.alignment},
                  stack.spacing, slots(stack.children, environment, {}, path, depth, nesting, Axis::horizontal));
            },
            [&](const nodes::ZStack& stack) -> std::unique_ptr<Element> {
              return std::make_unique<StackElement>("ZStack", StackElement::Kind::overlapping, stack.alignment,
                                                    std::nullopt,
                                                    slots(stack.children, environment, {}, path, depth, nesting, {}));
            },
            [&](const nodes::Conditional& choice) -> std::unique_ptr<Element> {
              // Outside a stack, the chosen views are stacked vertically.
              return std::make_unique<StackElement>(
                  "Conditional", StackElement::Kind::vertical, Alignment::center, std::nullopt,
                  slots(choice.children, environment, {}, path, depth, nesting, Axis::vertical));
            },
            [&](const nodes::Button& button) -> std::unique_ptr<Element> {
              return std::make_unique<ButtonElement>(
                  chain(*button.label, environment, {}, path + ".children[0]", depth + 1, nesting, std::nullopt));
            },
            [&](const nodes::Spacer& spacer) -> std::unique_ptr<Element> {
              const double minLength = spacer.minLength ? clean(*spacer.minLength) : kDefaultSpacerLength;
              return std::make_unique<SpacerElement>(axis, isFinite(minLength) ? minLength : kDefaultSpacerLength);
            },
            [&](const nodes::Empty&) -> std::unique_ptr<Element> { return std::make_unique<EmptyElement>(); },
            [&](const Text& text) -> std::unique_ptr<Element> {
              const std::string shown =
                  text.shown() ? *text.shown()
                               : context_.localizer.resolve(
                                     text.key(), text.tableName().value_or(std::string(Bundle::kDefaultTable)));
              return std::make_unique<TextElement>(
                  sanitizedText(shown), resolvedFont(text.font() ? text.font() : environment.font, text.fontWeight()),
                  environment.foreground, context_.measurer);
            },
            [&](const Image& image) -> std::unique_ptr<Element> { return this->image(image, environment, path); },
            [&](const Color& color) -> std::unique_ptr<Element> {
              return std::make_unique<FillElement>("Color", PlacedContent(color));
            },
            [&](const Material& material) -> std::unique_ptr<Element> {
              return std::make_unique<FillElement>("Material", PlacedContent(material));
            },
        },
        view.node());
  }

  std::unique_ptr<Element> image(const Image& image, const Environment& environment, const std::string& path) {
    if (const auto* symbol = std::get_if<SystemName>(&image.source())) {
      const ResolvedFont font = resolvedFont(environment.font, std::nullopt);
      const std::optional<SymbolBox> box = symbolBox(symbol->name, font.size);
      if (!box) {
        fail(LayoutError::Kind::unknownSymbol, path,
             "unknown symbol \"" + symbol->name + "\" (known: play.fill, pause.fill, metronome)");
        return std::make_unique<EmptyElement>();
      }
      return std::make_unique<SymbolElement>(symbol->name, *box, font, environment.foreground);
    }
    const auto& asset = std::get<NamedImage>(image.source());
    const std::optional<Bundle>& bundle = asset.bundle ? asset.bundle : context_.assets;
    if (!bundle) {
      fail(LayoutError::Kind::missingImage, path,
           "image \"" + asset.name + "\" names no bundle and no asset bundle was given");
      return std::make_unique<EmptyElement>();
    }
    const std::optional<std::filesystem::path> file = bundle->pathForImage(asset.name);
    if (!file) {
      fail(LayoutError::Kind::missingImage, path,
           "image \"" + asset.name + "\" not found in bundle " + bundle->path().string() + " (looked for Resources/" +
               asset.name + ".png)");
      return std::make_unique<EmptyElement>();
    }
    const std::expected<Size, std::string> pixels = pngPixelSize(*file);
    if (!pixels) {
      fail(LayoutError::Kind::unreadableImage, path,
           "image \"" + asset.name + "\": " + file->string() + " " + pixels.error());
      return std::make_unique<EmptyElement>();
    }
    return std::make_unique<PictureElement>(PlacedPicture{asset.name, *file, *pixels, image.resizing()});
  }

  std::unique_ptr<Element> wrap(std::size_t index, const Modifier& modifier, std::unique_ptr<Element> inner,
                                const Environment& outside, const std::string& path, int depth, int nesting) {
    return std::visit(
        Overloaded{
            [&](const PaddingModifier& m) -> std::unique_ptr<Element> {
              const double length = m.length ? clean(*m.length) : kDefaultPadding;
              return std::make_unique<PaddingElement>(index, std::move(inner),
                                                      insets(m.edges, isFinite(length) ? length : 0));
            },
            [&](const FrameModifier& m) -> std::unique_ptr<Element> {
              return std::make_unique<FrameElement>(index, std::move(inner), cleanedFrame(m.options));
            },
            [&](const AspectRatioModifier& m) -> std::unique_ptr<Element> {
              return std::make_unique<AspectRatioElement>(index, std::move(inner), m.ratio, m.contentMode);
            },
            [&](const BackgroundModifier& m) -> std::unique_ptr<Element> {
              return std::make_unique<DecorationElement>(
                  index, "background", std::move(inner),
                  chain(*m.content, outside, {}, path + ".content", depth + 1, nesting, std::nullopt), m.alignment);
            },
            [&](const OverlayModifier& m) -> std::unique_ptr<Element> {
              return std::make_unique<DecorationElement>(
                  index, "overlay", std::move(inner),
                  chain(*m.content, outside, {}, path + ".content", depth + 1, nesting, std::nullopt),
                  Alignment::center);
            },
            [&](const OpacityModifier& m) -> std::unique_ptr<Element> {
              return std::make_unique<PassingElement>(index, "opacity", std::move(inner), clampedOpacity(m.opacity));
            },
            [&](const auto&) -> std::unique_ptr<Element> {
              return std::make_unique<PassingElement>(index, std::string(name(modifier)), std::move(inner), 1.0);
            },
        },
        modifier);
  }

  // Frame limits that are NaN or negative count as absent or zero.
  static FrameOptions cleanedFrame(FrameOptions options) {
    for (std::optional<double>* limit : {&options.minWidth, &options.idealWidth, &options.maxWidth, &options.minHeight,
                                         &options.idealHeight, &options.maxHeight}) {
      if (*limit && std::isnan(**limit)) *limit = std::nullopt;
      if (*limit) **limit = std::max(0.0, **limit);
    }
    if (options.minWidth && options.maxWidth && *options.maxWidth < *options.minWidth)
      options.maxWidth = options.minWidth;
    if (options.minHeight && options.maxHeight && *options.maxHeight < *options.minHeight) {
      options.maxHeight = options.minHeight;
    }
    return options;
  }

  const LayoutContext& context_;
  std::optional<LayoutError> error_;
};

double clampedLength(double length, double min, double max) {
  if (!isFinite(length)) return max;
  return std::clamp(length, min, max);
}

// Offers `proposal` to the chain and centres what it chooses in `area`.
PlacedView placeCentered(Chain& chain, ProposedSize proposal, Rect area) {
  const Size size = finiteIn(chain.top->size(proposal), area.size());
  return placeChain(chain, proposal, aligned(size, area, Alignment::center));
}

LayoutResult emptyResult(Surface surface) {
  LayoutResult result;
  result.surface = surface;
  result.geometry = geometry(surface);
  return result;
}

}  // namespace

std::expected<PlacedView, LayoutError> layOutView(const View& view, ProposedSize proposal, const LayoutContext& context,
                                                  double originX, double originY) {
  Builder builder(context);
  Chain chain = builder.chain(view, Environment{}, {}, "$", 1, 0, std::nullopt);
  if (builder.error()) return std::unexpected(*builder.error());
  const Size size = finiteIn(chain.top->size(proposal), Size{});
  return placeChain(chain, proposal, Rect{originX, originY, size.width, size.height});
}

std::expected<LayoutResult, LayoutError> layOut(const View& view, Surface surface, const LayoutContext& context) {
  if (surface == Surface::islandExpanded) {
    const ExpandedRegion regions[] = {ExpandedRegion{ExpandedRegionPosition::center, view}};
    return layOutExpandedIsland(regions, context);
  }
  Builder builder(context);
  Chain chain = builder.chain(view, Environment{}, {}, "$", 1, 0, std::nullopt);
  if (builder.error()) return std::unexpected(*builder.error());

  LayoutResult result = emptyResult(surface);
  const SurfaceGeometry& shape = result.geometry;
  Size size{shape.maxWidth, shape.maxHeight};
  if (shape.minHeight < shape.maxHeight) {
    // The height follows the content at the full width.
    const double ideal = chain.top->size(ProposedSize{size.width, std::nullopt}).height;
    size.height = clampedLength(ideal, shape.minHeight, shape.maxHeight);
  }
  if (shape.minWidth < shape.maxWidth) {
    const double ideal = chain.top->size(ProposedSize{std::nullopt, size.height}).width;
    size.width = clampedLength(ideal, shape.minWidth, shape.maxWidth);
  }
  result.size = size;
  const Rect area{0, 0, size.width, size.height};
  result.regions.push_back(PlacedRegion{std::nullopt, area, placeCentered(chain, ProposedSize::of(size), area)});
  return result;
}

std::expected<LayoutResult, LayoutError> layOutExpandedIsland(std::span<const ExpandedRegion> regions,
                                                              const LayoutContext& context) {
  Builder builder(context);
  std::array<std::optional<Chain>, 4> chains;
  std::array<std::size_t, 4> given{};
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto slot = static_cast<std::size_t>(regions[i].position);
    const std::string path = "regions[" + std::to_string(i) + "]";
    if (chains[slot]) {
      return std::unexpected(
          LayoutError{LayoutError::Kind::duplicateRegion, path,
                      "a second region at position \"" + std::string(name(regions[i].position)) + "\""});
    }
    chains[slot] = builder.chain(regions[i].view, Environment{}, {}, path, 1, 0, std::nullopt);
    given[slot] = i;
    if (builder.error()) return std::unexpected(*builder.error());
  }
  const auto at = [&](ExpandedRegionPosition position) -> Chain* {
    std::optional<Chain>& chain = chains[static_cast<std::size_t>(position)];
    return chain ? &*chain : nullptr;
  };
  Chain* leading = at(ExpandedRegionPosition::leading);
  Chain* trailing = at(ExpandedRegionPosition::trailing);
  Chain* center = at(ExpandedRegionPosition::center);
  Chain* bottom = at(ExpandedRegionPosition::bottom);

  LayoutResult result = emptyResult(Surface::islandExpanded);
  const SurfaceGeometry& shape = result.geometry;
  const double width = shape.maxWidth;
  const double inner = width - 2 * kIslandExpandedHorizontalMargin;

  // Leading and trailing take their content's width, up to a third each.
  const auto sideWidth = [&](Chain* chain) {
    if (chain == nullptr) return 0.0;
    const double ideal = chain->top->size(ProposedSize::ideal()).width;
    return isFinite(ideal) ? std::min(ideal, inner / 3) : inner / 3;
  };
  const double leadingWidth = sideWidth(leading);
  const double trailingWidth = sideWidth(trailing);
  const double centerWidth =
      std::max(0.0, inner - leadingWidth - trailingWidth - (leadingWidth > 0 ? kIslandRegionSpacing : 0) -
                        (trailingWidth > 0 ? kIslandRegionSpacing : 0));
  const auto heightAt = [](Chain* chain, double regionWidth) {
    if (chain == nullptr) return 0.0;
    const double height = chain->top->size(ProposedSize{regionWidth, std::nullopt}).height;
    return isFinite(height) ? height : 0.0;
  };
  const double topHeight =
      std::max({heightAt(leading, leadingWidth), heightAt(trailing, trailingWidth), heightAt(center, centerWidth)});
  const double bottomHeight = heightAt(bottom, inner);
  const double content =
      2 * kIslandExpandedVerticalMargin + topHeight + (bottomHeight > 0 ? kIslandRegionSpacing + bottomHeight : 0);
  const double height = clampedLength(content, shape.minHeight, shape.maxHeight);
  result.size = Size{width, height};

  const double top = kIslandExpandedVerticalMargin + std::max(0.0, (height - content) / 2);
  const double left = kIslandExpandedHorizontalMargin;
  const double bottomTop = top + topHeight + kIslandRegionSpacing;
  const double bottomAvailable = std::max(0.0, height - kIslandExpandedVerticalMargin - bottomTop);
  const struct {
    Chain* chain;
    ExpandedRegionPosition position;
    Rect area;
    Alignment alignment;
  } placements[] = {
      {leading, ExpandedRegionPosition::leading, Rect{left, top, leadingWidth, topHeight}, Alignment::leading},
      {trailing, ExpandedRegionPosition::trailing, Rect{width - left - trailingWidth, top, trailingWidth, topHeight},
       Alignment::trailing},
      {center, ExpandedRegionPosition::center,
       Rect{left + leadingWidth + (leadingWidth > 0 ? kIslandRegionSpacing : 0), top, centerWidth, topHeight},
       Alignment::center},
      {bottom, ExpandedRegionPosition::bottom, Rect{left, bottomTop, inner, std::min(bottomHeight, bottomAvailable)},
       Alignment::top},
  };
  // Regions keep the order they were given in.
  std::vector<std::pair<std::size_t, PlacedRegion>> placed;
  for (const auto& placement : placements) {
    if (placement.chain == nullptr) continue;
    const ProposedSize proposal = ProposedSize::of(placement.area.size());
    const Size size = finiteIn(placement.chain->top->size(proposal), placement.area.size());
    PlacedView view = placeChain(*placement.chain, proposal, aligned(size, placement.area, placement.alignment));
    placed.emplace_back(given[static_cast<std::size_t>(placement.position)],
                        PlacedRegion{placement.position, placement.area, std::move(view)});
  }
  std::ranges::sort(placed, {}, &std::pair<std::size_t, PlacedRegion>::first);
  for (auto& [order, region] : placed) result.regions.push_back(std::move(region));
  return result;
}

}  // namespace ui
