#include "platform/ui/layout_modifiers.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/ui/layout.h"
#include "platform/ui/layout_builder.h"
#include "platform/ui/overloaded.h"

namespace ui::elements {
namespace {

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

  // Places the inner view offered `offered`, at the size it chooses for that (made
  // finite within `bounds`), in the rectangle `at(size)` gives.
  template <typename At>
  void placeInner(ProposedSize offered, Rect bounds, PlacedView& out, At at) {
    const Size size = finiteIn(inner().size(offered), bounds.size());
    inner().place(offered, at(size), out);
  }

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
    placeInner(inset(proposal), bounds, out, [&](Size size) {
      return Rect{bounds.x + insets_.leading, bounds.y + insets_.top, size.width, size.height};
    });
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
    placeInner(childProposal(proposal), bounds, out,
               [&](Size size) { return aligned(size, bounds, options_.alignment); });
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
    placeInner(childProposal(proposal), bounds, out,
               [&](Size size) { return aligned(size, bounds, Alignment::center); });
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

EdgeInsets insets(EdgeSet edges, double length) {
  return EdgeInsets{edges.contains(Edge::top) ? length : 0, edges.contains(Edge::leading) ? length : 0,
                    edges.contains(Edge::bottom) ? length : 0, edges.contains(Edge::trailing) ? length : 0};
}

// Frame limits that are NaN or negative count as absent or zero.
FrameOptions cleanedFrame(FrameOptions options) {
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

// The chain of a view the modifier holds, in the environment outside the modifier.
Chain content(const View& view, const ModifierSite& site) {
  return site.builder.chain(view, site.outside, {}, site.path + ".content", site.depth + 1, site.nesting, std::nullopt);
}

}  // namespace

void enter(const Modifier& modifier, Environment& environment) {
  if (const auto* font = std::get_if<FontModifier>(&modifier)) environment.font = font->font;
  if (const auto* color = std::get_if<ForegroundColorModifier>(&modifier)) environment.foreground = color->color;
}

std::unique_ptr<Element> modifierElement(std::size_t index, const Modifier& modifier, std::unique_ptr<Element> inner,
                                         const ModifierSite& site) {
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
            return std::make_unique<DecorationElement>(index, "background", std::move(inner), content(*m.content, site),
                                                       m.alignment);
          },
          [&](const OverlayModifier& m) -> std::unique_ptr<Element> {
            return std::make_unique<DecorationElement>(index, "overlay", std::move(inner), content(*m.content, site),
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

}  // namespace ui::elements
