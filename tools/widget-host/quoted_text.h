// Quoted text: a string in double quotes with '"', '\\' and control characters
// escaped (\n \t \r, others as \u{XX}), so that whatever it holds stays on one line.
// The view layer's own outline quoting, so the host's outlines read alike.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/tree_outline.h"

namespace host {

inline std::string inQuotes(std::string_view raw) { return ui::outlineQuoted(raw); }

}  // namespace host
