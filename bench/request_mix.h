// The request lines protocol_driver sends: the timeline request of its warm and cold
// steps, and the memory step's mix (every method with valid and invalid params, lines
// that are not JSON or not JSON-RPC, a notification, a blank line), with what each
// must be answered with; and the lines at the protocol's 1 MiB limit.
#pragma once

#include <string>
#include <vector>

namespace bench {

enum class Expect { result, error, none };

struct MixLine {
  std::string text;
  Expect expect;
};

// {"jsonrpc":"2.0","id":1,"method":"timeline",...} for the widget, with its newline.
const std::string& timelineLine();

// One cycle of the mix.
std::vector<MixLine> mixCycle();

// A valid request padded to just under 1 MiB, the same without its closing brace (not
// JSON), and one line over the limit.
std::vector<MixLine> limitLines();

}  // namespace bench
