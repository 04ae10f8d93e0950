// WidgetHostServer: the bundle main loop's server side of the widget host protocol
// (docs/protocol.md): JSON-RPC 2.0 over a pair of file descriptors, one message per
// line, answering for the widgets a bundle declares.
//
// Every bad request gets a JSON-RPC error that names the fault, and the loop goes on.
// A line over kMaxLineBytes is refused without being held in memory. The server holds
// no state between requests beyond the bundle's declarations.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/bundle.h"
#include "platform/widgetkit/widget.h"

namespace foundation {
class JSONTextWriter;
}

namespace widgetkit {

class WidgetHostServer {
 public:
  static constexpr std::size_t kMaxLineBytes = 1024 * 1024;

  WidgetHostServer(std::vector<AnyWidget> widgets, ui::Bundle resources);

  // The answer to one request line (without its '\n'): one line of JSON without '\n',
  // or none for a notification or a blank line.
  std::optional<std::string> handleLine(std::string_view line) const;

  // Serves requests read from `inputFd` until it reaches end of file, writing answers
  // to `outputFd`. Returns 0 at end of input, 1 when the answers cannot be written.
  int serve(int inputFd, int outputFd) const;

 private:
  // Writes the answer to `line` into `out` (emptied first); false when there is none.
  // `padded`: the 64 bytes after the line may be read too, so it is parsed in place.
  bool answer(std::string_view line, foundation::JSONTextWriter& out, bool padded) const;

  std::vector<AnyWidget> widgets_;
  ui::Bundle resources_;
};

}  // namespace widgetkit
