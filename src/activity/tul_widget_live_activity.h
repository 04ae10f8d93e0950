// TulWidgetLiveActivity: the Live Activity widget: the activity configuration for
// TulWidgetAttributes, with MetronomeActivityView on the lock screen and the Dynamic
// Island's expanded, compact and minimal presentations. Every view is built from the
// state alone; `isPlaying` changes nothing in the Dynamic Island.
#pragma once

#include "activity/metronome_activity_view.h"
#include "activity/tul_widget_attributes.h"
#include "platform/widgetkit/activity_configuration.h"

namespace tul {

struct TulWidgetLiveActivity {
  using Context = widgetkit::ActivityViewContext<TulWidgetAttributes>;

  struct Content {
    MetronomeActivityView operator()(const Context& context) const { return MetronomeActivityView{context}; }
  };
  struct Island {
    widgetkit::DynamicIsland operator()(const Context& context) const;
  };
  using Configuration = widgetkit::ActivityConfiguration<TulWidgetAttributes, Content, Island>;

  Configuration body() const;
};

}  // namespace tul
