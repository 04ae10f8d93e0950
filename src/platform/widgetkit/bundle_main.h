// The widget bundle main loop, the platform's `WidgetBundle.main()`: reads the
// bundle's widgets and serves the widget host's requests for them over standard input
// and output until standard input closes. Resources come from the extension's own
// bundle (the folder of the running executable).
#pragma once

#include <unistd.h>

#include "platform/ui/bundle.h"
#include "platform/widgetkit/widget.h"
#include "platform/widgetkit/widget_host_server.h"

namespace widgetkit {

// Returns 0 when standard input closes, 1 when answers can no longer be written.
template <WidgetBundle B>
int widgetBundleMain() {
  const WidgetHostServer server(bundleWidgets(B{}), ui::Bundle::main());
  return server.serve(STDIN_FILENO, STDOUT_FILENO);
}

}  // namespace widgetkit
