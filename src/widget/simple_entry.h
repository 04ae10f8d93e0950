// SimpleEntry: one entry of the home-screen widget's timeline: the moment the
// provider built it and the preset to show, held by value.
#pragma once

#include "platform/foundation/date.h"
#include "platform/widgetkit/timeline.h"
#include "preset/mini_melody.h"

namespace tul {

struct SimpleEntry {
  foundation::Date date;
  MiniMelody melody;
};

static_assert(widgetkit::TimelineEntry<SimpleEntry>);

}  // namespace tul
