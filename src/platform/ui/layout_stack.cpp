#include "platform/ui/layout_stack.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <utility>

#include "platform/ui/layout.h"

namespace ui::elements {
namespace {

class StackElement final : public Element {
 public:
  using Kind = StackKind;

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
          empty.path = slot.path;
          empty.frame = here;
          for (const std::string& name : slot.modifierNames)
            empty.modifiers.push_back(PlacedModifier{name, here, 1, {}});
          placed.push_back(std::move(empty));
          break;
        }
        case Slot::Kind::conditional: {
          PlacedView group;
          group.type = "Conditional";
          group.path = slot.path;
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

}  // namespace

std::unique_ptr<Element> stackElement(std::string type, StackKind kind, Alignment alignment,
                                      std::optional<double> spacing, std::vector<Slot> slots) {
  return std::make_unique<StackElement>(std::move(type), kind, alignment, spacing, std::move(slots));
}

std::unique_ptr<Element> buttonElement(Chain label) { return std::make_unique<ButtonElement>(std::move(label)); }

}  // namespace ui::elements
