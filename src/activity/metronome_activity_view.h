// MetronomeActivityView: the Live Activity on the lock screen, one row built from the
// activity's current state: time signature over tempo (or the metronome symbol when
// automated), the product label over what plays, and a play/pause indicator whose
// button does nothing. Reads only `context.state`; the attributes are shown nowhere.
#pragma once

#include "activity/tul_widget_attributes.h"
#include "platform/ui/view.h"
#include "platform/widgetkit/activity_configuration.h"

namespace tul {

struct MetronomeActivityView {
  widgetkit::ActivityViewContext<TulWidgetAttributes> context;

  ui::View body() const;
};

// Shared pieces of the activity's views.
namespace activity_texts {

// "beat/note", each with "%lld".
ui::Text metre(const TulWidgetAttributes::ContentState& state);
// The tempo with "%lld".
ui::Text tempo(const TulWidgetAttributes::ContentState& state);
// What plays: the melody's name, or "Free Beats" when there is none. The filled-in
// name is a value, never looked up or read as a format.
ui::Text melodyLine(const TulWidgetAttributes::ContentState& state);

}  // namespace activity_texts

}  // namespace tul
