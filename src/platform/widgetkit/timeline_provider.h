// TimelineProvider: the data source of a widget. The host asks it for a placeholder,
// a snapshot and a timeline, each time with its context. Completions are called
// exactly once; a provider may call them before it returns.
#pragma once

#include <concepts>
#include <functional>
#include <string>

#include "platform/widgetkit/timeline.h"
#include "platform/widgetkit/widget_family.h"

namespace widgetkit {

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// What the host tells a provider about the place it asks for.
struct TimelineProviderContext {
  WidgetFamily family = WidgetFamily::systemSmall;
  Size displaySize{170, 170};
  bool isPreview = false;
  std::string locale = "en";
};

template <typename P>
concept TimelineProvider = requires(const P& provider, const TimelineProviderContext& context) {
  typename P::Entry;
  requires TimelineEntry<typename P::Entry>;
  { provider.placeholder(context) } -> std::same_as<typename P::Entry>;
  provider.getSnapshot(context, std::function<void(typename P::Entry)>{});
  provider.getTimeline(context, std::function<void(Timeline<typename P::Entry>)>{});
};

}  // namespace widgetkit
