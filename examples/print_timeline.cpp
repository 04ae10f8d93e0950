// Prints the home-screen widget's timeline for the default preferences location:
// the one entry's date, its preset and the tempo marking.
#include <cstdio>

#include "platform/foundation/json_encoder.h"
#include "widget/simple_widget_provider.h"

int main() {
  tul::SimpleWidgetProvider provider;
  provider.getTimeline({}, [](widgetkit::Timeline<tul::SimpleEntry> timeline) {
    std::printf("policy: %s\n", std::string(timeline.policy.name()).c_str());
    for (const auto& entry : timeline.entries) {
      auto json = foundation::JSONEncoder().encodeToString(entry.melody);
      std::printf("entry %s\n  preset %s\n  %lld %s\n", entry.date.iso8601().c_str(),
                  json ? json->c_str() : json.error().description().c_str(),
                  static_cast<long long>(entry.melody.bpm), std::string(entry.melody.tempoMarking()).c_str());
    }
  });
  return 0;
}
