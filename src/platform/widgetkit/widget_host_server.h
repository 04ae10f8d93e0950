// WidgetHostServer: the widget host protocol's methods (docs/protocol.md), served for
// the widgets a bundle declares: `widgets`, `placeholder`, `snapshot`, `timeline` and
// `activity`, with their params and results. The framing, the envelope and the
// answering of bad lines are JsonRpcLineServer's; this is what the lines carry.
//
// A bad param gets an error that names it (the codes of protocol_error_codes.h). The
// server holds no state between requests beyond the bundle's declarations.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/bundle.h"
#include "platform/widgetkit/json_rpc_line_server.h"
#include "platform/widgetkit/widget.h"

namespace widgetkit {

class WidgetHostServer final : private RpcMethods {
 public:
  static constexpr std::size_t kMaxLineBytes = JsonRpcLineServer::kMaxLineBytes;

  WidgetHostServer(std::vector<AnyWidget> widgets, ui::Bundle resources);

  // The answer to one request line: see JsonRpcLineServer::handleLine.
  std::optional<std::string> handleLine(std::string_view line) const {
    return JsonRpcLineServer(*this).handleLine(line);
  }

  // Serves requests from `inputFd` until end of file, answering on `outputFd`: see
  // JsonRpcLineServer::serve. Returns 0 at end of input, 1 when answers cannot be written.
  int serve(int inputFd, int outputFd) const { return JsonRpcLineServer(*this).serve(inputFd, outputFd); }

 private:
  std::expected<void, RpcError> call(std::string_view method, const RpcParams& params,
                                     foundation::JSONTextWriter& out) const override;

  std::vector<AnyWidget> widgets_;
  ui::Bundle resources_;
};

}  // namespace widgetkit
