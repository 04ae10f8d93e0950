// Result text: the readable forms of the extension's answers, for a terminal. Each
// starts with what the answer is about (kind, family, policy, entry date, or the
// presentation) and shows every view tree as an indented outline (outlineFromJSON).
//
// The results come from another process: members that are missing or of the wrong
// type are shown as "?" rather than trusted. Nothing here throws on a result's content.
#pragma once

#include <string>

#include "json_rpc.h"

namespace host {

// The `widgets` result: one block per declared widget.
std::string widgetsText(const Json& result);

// A `placeholder`, `snapshot` or `timeline` result: kind, family, the policy when there
// is one, then each entry's date and view.
std::string entriesText(const Json& result);

// An `activity` result: one presentation, or all of them, each headed by its name; the
// expanded presentation by region, with position and priority.
std::string activityText(const Json& result);

}  // namespace host
