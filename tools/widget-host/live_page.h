// The live host's page: what the phone shows (the home screen with the widget, the
// lock screen with the Live Activity, the Dynamic Island compact, minimal and
// expanded), drawn by the host's renderer and loaded from the host; a preset editor
// that stores a preset as the host app does; a "Reload timelines" button; and a status
// line. Everything on it changes from the server's events (/events), never by polling
// or reloading the page.
#pragma once

#include <string>

namespace host {

// The page, carrying the run's token in <meta name="widget-host-token">, which its
// requests that change something send back in X-Widget-Host-Token.
std::string livePage(const std::string& token);

}  // namespace host
