// TulWidgetEntryView: the home-screen widget's view of one timeline entry.
//
// In white over the "background" picture (under a thin material and cyan at 0.6):
// the title "Kadenzo", the tempo as a large heavy number, under it the preset's name
// and a space (a playlist entry with a name) or the tempo marking, and the play
// symbol. `body()` depends on nothing but `entry`.
#pragma once

#include "platform/ui/view.h"
#include "widget/simple_entry.h"

namespace tul {

struct TulWidgetEntryView {
  SimpleEntry entry;

  ui::View body() const;
};

}  // namespace tul
