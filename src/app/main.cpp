// The extension's process entry: hands TulWidgetBundle to the platform's bundle main
// loop, which serves the widget host until it closes standard input.
#include "app/tul_widget_bundle.h"
#include "platform/widgetkit/bundle_main.h"

int main() {
  widgetkit::widgetBundleMain<tul::TulWidgetBundle>();
  return 0;
}
