// The extension's process entry: hands TulWidgetBundle to the platform's bundle main
// loop, which serves the widget host until it closes standard input.
#include "app/tul_widget_bundle.h"
#include "platform/widgetkit/bundle_main.h"

// Exits 0 when the host closes standard input, non-zero when the answers could not be
// written (the host gone, a full device), so that the failure is not taken for success.
int main() { return widgetkit::widgetBundleMain<tul::TulWidgetBundle>(); }
