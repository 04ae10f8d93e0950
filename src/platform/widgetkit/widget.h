// Widget and WidgetBundle: what an extension declares to the widget host.
//
// A widget is a value built with its argument-less constructor whose `body()` yields
// its configuration (a StaticConfiguration or an ActivityConfiguration). A bundle is a
// value whose `body()` yields its widgets as a tuple, in order (the platform's
// TupleWidget). `AnyWidget` is what the host keeps of each: the declaration and
// type-erased entry points that render views for it.
#pragma once

#include <concepts>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "platform/foundation/date.h"
#include "platform/foundation/json_decoder.h"
#include "platform/ui/layout_surface.h"
#include "platform/ui/localized_string_key.h"
#include "platform/ui/view.h"
#include "platform/widgetkit/activity_configuration.h"
#include "platform/widgetkit/static_configuration.h"
#include "platform/widgetkit/timeline.h"
#include "platform/widgetkit/timeline_provider.h"

namespace widgetkit {

template <typename W>
concept Widget = std::default_initializable<W> && requires(const W& widget) {
  widget.body();
};

// ---- What the host keeps of a widget.

struct RenderedEntry {
  foundation::Date date;
  ui::View view;
};

struct RenderedTimeline {
  std::vector<RenderedEntry> entries;
  TimelineReloadPolicy policy;
};

struct StaticWidget {
  std::string kind;
  std::optional<ui::LocalizedStringKey> displayName;
  std::optional<ui::LocalizedStringKey> description;
  std::vector<WidgetFamily> families;
  // None when the provider did not call its completion.
  std::function<RenderedEntry(const TimelineProviderContext&)> placeholder;
  std::function<std::optional<RenderedEntry>(const TimelineProviderContext&)> snapshot;
  std::function<std::optional<RenderedTimeline>(const TimelineProviderContext&)> timeline;
};

// An activity's presentation is the surface it is drawn on, named as the protocol
// names it (ui::name): every surface but the widget's.
using ActivityPresentation = ui::Surface;

// Every presentation, in the order the protocol lists them for "all".
inline constexpr ActivityPresentation kAllActivityPresentations[] = {
    ActivityPresentation::lockScreen, ActivityPresentation::islandExpanded, ActivityPresentation::islandCompactLeading,
    ActivityPresentation::islandCompactTrailing, ActivityPresentation::islandMinimal};

struct RenderedRegion {
  DynamicIslandExpandedRegionPosition position;
  double priority;
  ui::View view;
};

// One presentation: a single view, or for `islandExpanded` its regions in order.
struct RenderedPresentation {
  ActivityPresentation presentation;
  std::optional<ui::View> view;
  std::vector<RenderedRegion> regions;
};

// Coded attributes or a coded state that did not decode.
struct ActivityDecodeFailure {
  std::string record;  // "attributes" or "state"
  foundation::DecodingError error;
};

// How many bytes the records' own encoders write for the decoded records.
struct EncodedSizes {
  std::size_t attributes = 0;
  std::size_t state = 0;
};

// Decodes the coded attributes and state with the records' own decoding, then builds
// the asked presentations in the order asked, with the context's `isStale`.
struct ActivityPresenter {
  using Result = std::expected<std::vector<RenderedPresentation>, ActivityDecodeFailure>;
  std::function<Result(std::string_view, std::string_view, std::span<const ActivityPresentation>, bool)> build;

  Result operator()(std::string_view attributes, std::string_view state,
                    std::span<const ActivityPresentation> presentations, bool isStale = false) const {
    return build(attributes, state, presentations, isStale);
  }
};

struct ActivityWidget {
  std::string attributesType;
  ActivityPresenter present;
  // Decodes both records and encodes them again.
  std::function<std::expected<EncodedSizes, ActivityDecodeFailure>(std::string_view attributes,
                                                                   std::string_view state)>
      encodedSizes;
};

using AnyWidget = std::variant<StaticWidget, ActivityWidget>;

// ---- Erasing configurations.

template <TimelineProvider P, typename C>
AnyWidget eraseConfiguration(const StaticConfiguration<P, C>& configuration) {
  using Entry = typename P::Entry;
  auto render = [configuration](const Entry& entry) {
    return RenderedEntry{foundation::Date(entry.date), toView(configuration.content()(entry))};
  };
  StaticWidget widget;
  widget.kind = configuration.kind();
  widget.displayName = configuration.displayName();
  widget.description = configuration.descriptionText();
  widget.families = configuration.families();
  widget.placeholder = [configuration, render](const TimelineProviderContext& context) {
    return render(configuration.provider().placeholder(context));
  };
  widget.snapshot = [configuration, render](const TimelineProviderContext& context) {
    std::optional<RenderedEntry> result;
    configuration.provider().getSnapshot(context, [&](Entry entry) { result = render(entry); });
    return result;
  };
  widget.timeline = [configuration, render](const TimelineProviderContext& context) {
    std::optional<RenderedTimeline> result;
    configuration.provider().getTimeline(context, [&](Timeline<Entry> timeline) {
      RenderedTimeline rendered{{}, timeline.policy};
      rendered.entries.reserve(timeline.entries.size());
      for (const auto& entry : timeline.entries) rendered.entries.push_back(render(entry));
      result = std::move(rendered);
    });
    return result;
  };
  return widget;
}

template <ActivityAttributes A, typename C, typename I>
AnyWidget eraseConfiguration(const ActivityConfiguration<A, C, I>& configuration) {
  ActivityWidget widget;
  widget.attributesType = std::string(A::typeName);
  widget.present.build = [configuration](std::string_view codedAttributes, std::string_view codedState,
                                   std::span<const ActivityPresentation> presentations, bool isStale)
      -> std::expected<std::vector<RenderedPresentation>, ActivityDecodeFailure> {
    const foundation::JSONDecoder decoder;
    auto attributes = decoder.decode<A>(codedAttributes);
    if (!attributes) return std::unexpected(ActivityDecodeFailure{"attributes", attributes.error()});
    auto state = decoder.decode<typename A::ContentState>(codedState);
    if (!state) return std::unexpected(ActivityDecodeFailure{"state", state.error()});
    const ActivityViewContext<A> context{std::move(*attributes), std::move(*state), isStale};
    std::vector<RenderedPresentation> rendered;
    for (ActivityPresentation presentation : presentations) {
      RenderedPresentation out{presentation, std::nullopt, {}};
      switch (presentation) {
        case ActivityPresentation::smallWidget:           // no activity presentation
        case ActivityPresentation::islandCompact: break;  // the host composes it from the two sides
        case ActivityPresentation::lockScreen: out.view = configuration.lockScreen(context); break;
        case ActivityPresentation::islandExpanded:
          for (const auto& region : configuration.dynamicIsland(context).expanded()) {
            out.regions.push_back({region.position(), region.priority(), region.content()});
          }
          break;
        case ActivityPresentation::islandCompactLeading:
          out.view = configuration.dynamicIsland(context).compactLeading();
          break;
        case ActivityPresentation::islandCompactTrailing:
          out.view = configuration.dynamicIsland(context).compactTrailing();
          break;
        case ActivityPresentation::islandMinimal: out.view = configuration.dynamicIsland(context).minimal(); break;
      }
      rendered.push_back(std::move(out));
    }
    return rendered;
  };
  widget.encodedSizes = [](std::string_view codedAttributes,
                           std::string_view codedState) -> std::expected<EncodedSizes, ActivityDecodeFailure> {
    const foundation::JSONDecoder decoder;
    auto attributes = decoder.decode<A>(codedAttributes);
    if (!attributes) return std::unexpected(ActivityDecodeFailure{"attributes", attributes.error()});
    auto state = decoder.decode<typename A::ContentState>(codedState);
    if (!state) return std::unexpected(ActivityDecodeFailure{"state", state.error()});
    // An encoder that fails writes nothing the platform could keep: counted as no bytes
    // would let it pass, so it counts as past any limit.
    const foundation::JSONEncoder encoder;
    const auto size = [](const auto& text) { return text ? text->size() : static_cast<std::size_t>(-1); };
    return EncodedSizes{size(encoder.encodeToString(*attributes)), size(encoder.encodeToString(*state))};
  };
  return widget;
}

template <Widget W>
AnyWidget eraseWidget(const W& widget) {
  return eraseConfiguration(widget.body());
}

template <typename B>
concept WidgetBundle = std::default_initializable<B> && requires(const B& bundle) {
  std::tuple_size<decltype(bundle.body())>::value;
};

// The bundle's widgets, in the order its body lists them.
template <WidgetBundle B>
std::vector<AnyWidget> bundleWidgets(const B& bundle) {
  return std::apply([](const auto&... widgets) { return std::vector<AnyWidget>{eraseWidget(widgets)...}; },
                    bundle.body());
}

}  // namespace widgetkit
