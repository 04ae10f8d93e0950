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

// Modifiers that offer their view a proposal of their own making: padding, frame,
// aspectRatio, each a `Rule` that says
//   offered(proposal, view)  what the view is offered when the modifier is offered
//                            `proposal` (`view` may be asked for its sizes),
//   around(proposal, size)   the modifier's size around a view that chose `size`,
//   placed(size, bounds)     where a view of `size` goes inside the modifier's bounds.
// The view is placed at the size it answers to its offer, made finite within the
// modifier's bounds.
template <typename Rule>
class ProposingElement final : public ModifierElement {
 public:
  ProposingElement(std::size_t index, std::string name, std::unique_ptr<Element> inner, Rule rule)
      : ModifierElement(index, std::move(name), std::move(inner)), rule_(std::move(rule)) {}

  void place(ProposedSize proposal, Rect bounds, PlacedView& out) override {
    record(out, bounds);
    const ProposedSize offered = rule_.offered(proposal, inner());
    const Size size = finiteIn(inner().size(offered), bounds.size());
    inner().place(offered, rule_.placed(size, bounds), out);
  }

 protected:
  Size measure(ProposedSize proposal) override {
    return rule_.around(proposal, inner().size(rule_.offered(proposal, inner())));
  }

 private:
  Rule rule_;
};

// The view offered the proposal less the insets, and placed inside them.
struct PaddingRule {
  EdgeInsets insets;

  ProposedSize offered(ProposedSize proposal, Element& /*view*/) const {
    if (proposal.width) proposal.width = std::max(0.0, *proposal.width - insets.leading - insets.trailing);
    if (proposal.height) proposal.height = std::max(0.0, *proposal.height - insets.top - insets.bottom);
    return proposal;
  }
  Size around(ProposedSize /*proposal*/, Size size) const {
    return Size{size.width + insets.leading + insets.trailing, size.height + insets.top + insets.bottom};
  }
  Rect placed(Size size, Rect bounds) const {
    return Rect{bounds.x + insets.leading, bounds.y + insets.top, size.width, size.height};
  }
};

// The view offered what was offered within the frame's limits; the frame's size is
// the view's, pulled towards what was offered as far as the limits allow.
struct FrameRule {
  FrameOptions options;

  ProposedSize offered(ProposedSize proposal, Element& /*view*/) const {
    return ProposedSize{limited(proposal.width, options.minWidth, options.idealWidth, options.maxWidth),
                        limited(proposal.height, options.minHeight, options.idealHeight, options.maxHeight)};
  }
  Size around(ProposedSize proposal, Size size) const {
    return Size{chosen(proposal.width, size.width, options.minWidth, options.idealWidth, options.maxWidth),
                chosen(proposal.height, size.height, options.minHeight, options.idealHeight, options.maxHeight)};
  }
  Rect placed(Size size, Rect bounds) const { return aligned(size, bounds, options.alignment); }

 private:
  static std::optional<double> limited(std::optional<double> offered, std::optional<double> min,
                                       std::optional<double> ideal, std::optional<double> max) {
    if (!offered) offered = ideal;
    if (offered && min) offered = std::max(*min, *offered);
    if (offered && max) offered = std::min(*max, *offered);
    return offered;
  }

  // The frame's length on one axis.
  static double chosen(std::optional<double> offered, double child, std::optional<double> min,
                       std::optional<double> ideal, std::optional<double> max) {
    if (!min && !max) return !offered && ideal ? *ideal : child;
    const double preferred = offered ? *offered : ideal ? *ideal : child;
    double length = child;
    if (min) length = std::max(*min, std::min(length, preferred));
    if (max) length = std::min(*max, std::max(length, preferred));
    return length;
  }
};

// The view offered the largest (fit) or smallest (fill) size of the ratio the
// proposal allows, sized as it chooses and centred.
struct AspectRatioRule {
  std::optional<double> ratio;  // absent: the view's own
  ContentMode mode;

  ProposedSize offered(ProposedSize proposal, Element& view) const {
    const double r = ratioOf(view);
    if (!proposal.width && !proposal.height) {
      if (!ratio) return proposal;
      const Size ideal = view.size(ProposedSize::ideal());
      return ProposedSize{ideal.width, ideal.width / r};
    }
    if (!proposal.height) return ProposedSize{*proposal.width, *proposal.width / r};
    if (!proposal.width) return ProposedSize{*proposal.height * r, *proposal.height};
    const double byHeight = *proposal.height * r;
    const double width =
        mode == ContentMode::fit ? std::min(*proposal.width, byHeight) : std::max(*proposal.width, byHeight);
    return ProposedSize{width, width / r};
  }
  Size around(ProposedSize /*proposal*/, Size size) const { return size; }
  Rect placed(Size size, Rect bounds) const { return aligned(size, bounds, Alignment::center); }

 private:
  double ratioOf(Element& view) const {
    if (ratio && *ratio > 0 && isFinite(*ratio)) return *ratio;
    const Size ideal = view.size(ProposedSize::ideal());
    if (ideal.width > 0 && ideal.height > 0 && isFinite(ideal.width) && isFinite(ideal.height)) {
      return ideal.width / ideal.height;
    }
    return 1;
  }
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
            return std::make_unique<ProposingElement<PaddingRule>>(
                index, "padding", std::move(inner), PaddingRule{insets(m.edges, isFinite(length) ? length : 0)});
          },
          [&](const FrameModifier& m) -> std::unique_ptr<Element> {
            return std::make_unique<ProposingElement<FrameRule>>(index, "frame", std::move(inner),
                                                                 FrameRule{cleanedFrame(m.options)});
          },
          [&](const AspectRatioModifier& m) -> std::unique_ptr<Element> {
            return std::make_unique<ProposingElement<AspectRatioRule>>(index, "aspectRatio", std::move(inner),
                                                                       AspectRatioRule{m.ratio, m.contentMode});
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
