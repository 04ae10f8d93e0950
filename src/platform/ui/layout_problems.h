// Layout problems: what of a laid-out surface a user would not see whole, as data: a
// text cut short (its frame holds fewer lines or less width than it needs, so its last
// line ends in "…"), and a text or symbol that lies, wholly or in part, outside the
// surface. Pictures and fills are not reported: one that fills its frame is cropped by
// design, and the surface clips every drawing.
//
// Each problem names the view by its path in the tree, in its JSON terms, after the
// region's position on the expanded Dynamic Island ("leading $.children[1]").
#pragma once

#include <string>
#include <vector>

#include "platform/ui/layout_result.h"

namespace ui {

struct LayoutProblem {
  std::string path;     // the view
  std::string missing;  // what of it is missing, in words ("shows 12 of 31 characters")

  friend bool operator==(const LayoutProblem&, const LayoutProblem&) = default;
};

// Every problem of `result`, in drawing order.
std::vector<LayoutProblem> layoutProblems(const LayoutResult& result);

}  // namespace ui
