// TulWidgetBundle: the extension's widget bundle, the program's entry type. Its body
// lists the home-screen widget first and the Live Activity second.
#pragma once

#include <tuple>

#include "activity/tul_widget_live_activity.h"
#include "platform/widgetkit/widget.h"
#include "widget/tul_widget.h"

namespace tul {

struct TulWidgetBundle {
  std::tuple<TulWidget, TulWidgetLiveActivity> body() const { return {TulWidget(), TulWidgetLiveActivity()}; }
};

static_assert(widgetkit::WidgetBundle<TulWidgetBundle>);

}  // namespace tul
