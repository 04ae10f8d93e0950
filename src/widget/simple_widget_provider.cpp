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
  completion(widgetkit::Timeline<SimpleEntry>({SimpleEntry{date, MiniMelody::loadShared()}},
                                              widgetkit::TimelineReloadPolicy::never()));
}

}  // namespace tul
