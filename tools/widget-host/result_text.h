// Result text: the readable forms of the extension's answers, for a terminal. Each
// starts with what the answer is about (kind, family, policy, entry date, or the
// presentation) and shows every view tree as the view layer's own outline
// (ui::outline) of the tree read back from its JSON (ui::fromJSON), so that a text
// shows the strings the extension showed.
//
// The results come from another process: scalar members that are missing or of the
// wrong type are shown as "?" rather than trusted, and a view tree that does not
// read back is a broken protocol (ExitCode::unavailable), named with the JSON path of
// its fault. Nothing here throws on a result's content.
#pragma once

#include <expected>
#include <string>

#include "host_error.h"
#include "json_rpc.h"

namespace host {

// The `widgets` result: one block per declared widget.
std::string widgetsText(const Json& result);

// A `placeholder`, `snapshot` or `timeline` result: kind, family, the policy when there
// is one, then each entry's date and view.
std::expected<std::string, HostError> entriesText(const Json& result);

// An `activity` result: one presentation, or all of them, each headed by its name; the
// expanded presentation by region, with position and priority.
std::expected<std::string, HostError> activityText(const Json& result);

}  // namespace host
