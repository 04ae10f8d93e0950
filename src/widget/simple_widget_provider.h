// SimpleWidgetProvider: the home-screen widget's data source.
//
// Placeholder and snapshot always carry the default preset; only the timeline reads
// the shared store. Each answer is one entry dated at the request; the timeline holds
// exactly that entry with the reload policy `never`. Completions run once,
// synchronously, before the call returns. Stateless and safe to call concurrently.
#pragma once

#include <functional>

#include "platform/widgetkit/timeline.h"
#include "platform/widgetkit/timeline_provider.h"
#include "widget/simple_entry.h"

namespace tul {

struct SimpleWidgetProvider {
  using Entry = SimpleEntry;

  SimpleEntry placeholder(const widgetkit::TimelineProviderContext& context) const;
  void getSnapshot(const widgetkit::TimelineProviderContext& context,
                   const std::function<void(SimpleEntry)>& completion) const;
  void getTimeline(const widgetkit::TimelineProviderContext& context,
                   const std::function<void(widgetkit::Timeline<SimpleEntry>)>& completion) const;
};

static_assert(widgetkit::TimelineProvider<SimpleWidgetProvider>);

}  // namespace tul
