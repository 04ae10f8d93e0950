// The Live Activity side of the widget host: attributes with a content state, the
// context the views are built from, the Dynamic Island with its regions, and the
// activity configuration that names the builders.
//
// Builders are called whenever the host needs a presentation; each builds its view
// from the context it receives. Everything here is a plain value.
#pragma once

#include <concepts>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/hasher.h"
#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"
#include "platform/ui/layout_surface.h"
#include "platform/ui/view.h"
#include "platform/widgetkit/view_content.h"

namespace widgetkit {

// An activity's static record with its nested dynamic `ContentState`. Both are keyed
// records; the state also compares and hashes. `typeName` names the attributes type
// to the host.
template <typename A>
concept ActivityAttributes =
    foundation::Decodable<A> && foundation::Encodable<A> && requires { typename A::ContentState; } &&
    foundation::Decodable<typename A::ContentState> && foundation::Encodable<typename A::ContentState> &&
    foundation::Hashable<typename A::ContentState> && std::equality_comparable<typename A::ContentState> &&
    requires {
      { A::typeName } -> std::convertible_to<std::string_view>;
    };

// What the host hands each activity builder: the attributes, the latest state, and
// whether that state is past its stale date.
template <ActivityAttributes A>
struct ActivityViewContext {
  A attributes;
  typename A::ContentState state;
  bool isStale = false;
};

// Where a region of the expanded Dynamic Island sits: the view layer's positions,
// named as the protocol names them (ui::name).
using DynamicIslandExpandedRegionPosition = ui::ExpandedRegionPosition;

// One region of the expanded Dynamic Island.
class DynamicIslandExpandedRegion {
 public:
  template <typename Builder>
    requires ViewContent<std::invoke_result_t<const Builder&>>
  DynamicIslandExpandedRegion(DynamicIslandExpandedRegionPosition position, double priority, const Builder& content)
      : position_(position), priority_(priority), content_(toView(content())) {}

  DynamicIslandExpandedRegionPosition position() const { return position_; }
  double priority() const { return priority_; }
  const ui::View& content() const { return content_; }

 private:
  DynamicIslandExpandedRegionPosition position_;
  double priority_;
  ui::View content_;
};

// The Dynamic Island's presentations, each built when asked for.
class DynamicIsland {
 public:
  DynamicIsland(std::function<std::vector<DynamicIslandExpandedRegion>()> expanded,
                std::function<ui::View()> compactLeading, std::function<ui::View()> compactTrailing,
                std::function<ui::View()> minimal)
      : expanded_(std::move(expanded)),
        compactLeading_(std::move(compactLeading)),
        compactTrailing_(std::move(compactTrailing)),
        minimal_(std::move(minimal)) {}

  std::vector<DynamicIslandExpandedRegion> expanded() const { return expanded_(); }
  ui::View compactLeading() const { return compactLeading_(); }
  ui::View compactTrailing() const { return compactTrailing_(); }
  ui::View minimal() const { return minimal_(); }

 private:
  std::function<std::vector<DynamicIslandExpandedRegion>()> expanded_;
  std::function<ui::View()> compactLeading_;
  std::function<ui::View()> compactTrailing_;
  std::function<ui::View()> minimal_;
};

// Names the attributes type of an activity configuration, as `for: T.self` does.
template <ActivityAttributes A>
struct AttributesType {};
template <ActivityAttributes A>
inline constexpr AttributesType<A> forAttributes{};

// The platform's `ActivityConfiguration(for:content:dynamicIsland:)`.
template <ActivityAttributes A, typename Content, typename Island>
  requires std::invocable<const Content&, const ActivityViewContext<A>&> &&
           ViewContent<std::invoke_result_t<const Content&, const ActivityViewContext<A>&>> &&
           std::convertible_to<std::invoke_result_t<const Island&, const ActivityViewContext<A>&>, DynamicIsland>
class ActivityConfiguration {
 public:
  using Attributes = A;

  ActivityConfiguration(AttributesType<A>, Content content, Island dynamicIsland)
      : content_(std::move(content)), dynamicIsland_(std::move(dynamicIsland)) {}

  // The lock-screen presentation for `context`.
  ui::View lockScreen(const ActivityViewContext<A>& context) const { return toView(content_(context)); }
  DynamicIsland dynamicIsland(const ActivityViewContext<A>& context) const { return dynamicIsland_(context); }

 private:
  Content content_;
  Island dynamicIsland_;
};

}  // namespace widgetkit
