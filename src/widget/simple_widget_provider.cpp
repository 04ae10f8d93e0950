#include "widget/simple_widget_provider.h"

namespace tul {

// The context is never read: the answers are the same for every family, size,
// locale, and for previews and live widgets alike.

SimpleEntry SimpleWidgetProvider::placeholder(const widgetkit::TimelineProviderContext&) const {
  return SimpleEntry{foundation::Date::now(), MiniMelody::defaultMelody()};
}

void SimpleWidgetProvider::getSnapshot(const widgetkit::TimelineProviderContext&,
                                       const std::function<void(SimpleEntry)>& completion) const {
  completion(SimpleEntry{foundation::Date::now(), MiniMelody::defaultMelody()});
}

void SimpleWidgetProvider::getTimeline(const widgetkit::TimelineProviderContext&,
                                       const std::function<void(widgetkit::Timeline<SimpleEntry>)>& completion) const {
  const auto date = foundation::Date::now();
  // The entry is moved into the timeline: a braced list would copy it.
  std::vector<SimpleEntry> entries;
  entries.push_back(SimpleEntry{date, MiniMelody::loadShared()});
  completion(widgetkit::Timeline<SimpleEntry>(std::move(entries), widgetkit::TimelineReloadPolicy::never()));
}

}  // namespace tul
