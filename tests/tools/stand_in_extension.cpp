// A stand-in for a misbehaving extension, built once per behaviour (STAND_IN_BEHAVIOUR)
// so that the host can be given each with --extension:
//   hang          reads a request, then never answers
//   stubborn      as hang, and ignores SIGTERM
//   crash         reads a request, then dies of SIGSEGV
//   exit3         reads a request, then exits with status 3
//   garbage       answers a request with a line that is not JSON
//   wrong-id      answers a request as if it were request 99
//   deep          answers with an array nested far too deep
//   endless       answers with a line that never ends
//   partial       writes the start of an answer, then exits with status 0
//   close-output  closes its standard output at once and lives on
//   linger        answers a request properly, then does not exit when its input closes
//   missing-image answers with an entry whose view names an image no bundle has
//   unreadable-tree answers with an entry whose view is not a view tree
//   two-entries   answers with a timeline of two entries, each a Text
// When STAND_IN_PID_FILE is set, it first writes its process id there.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

namespace {

void sleepForever() {
  for (;;) ::pause();
}

void writeAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written <= 0) std::_Exit(0);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

int main() {
  const std::string_view behaviour = STAND_IN_BEHAVIOUR;
  if (const char* pidFile = std::getenv("STAND_IN_PID_FILE")) {
    if (std::FILE* file = std::fopen(pidFile, "w")) {
      std::fprintf(file, "%d\n", static_cast<int>(::getpid()));
      std::fclose(file);
    }
  }
  if (behaviour == "close-output") {
    ::close(STDOUT_FILENO);
    sleepForever();
  }
  if (behaviour == "stubborn") std::signal(SIGTERM, SIG_IGN);

  std::string request;
  if (!std::getline(std::cin, request)) return 0;

  if (behaviour == "hang" || behaviour == "stubborn") sleepForever();
  if (behaviour == "crash") {
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
  }
  if (behaviour == "exit3") return 3;
  if (behaviour == "garbage") writeAll("this is not JSON\n");
  if (behaviour == "wrong-id")
    writeAll(R"({"jsonrpc":"2.0","id":99,"result":{"widgets":[]}})"
             "\n");
  if (behaviour == "deep") {
    const std::string open(100000, '[');
    writeAll(R"({"jsonrpc":"2.0","id":1,"result":)" + open + std::string(100000, ']') + "}\n");
  }
  if (behaviour == "partial") {
    writeAll(R"({"jsonrpc":"2.0","id":1,)");
    return 0;
  }
  if (behaviour == "endless") {
    const std::string chunk(64 * 1024, 'x');
    for (;;) writeAll(chunk);
  }
  if (behaviour == "missing-image" || behaviour == "unreadable-tree") {
    const std::string view = behaviour == "missing-image"
                                 ? R"({"type":"Image","name":"nowhere","bundle":null,"resizable":null,"modifiers":[]})"
                                 : R"({"type":"Hologram","modifiers":[]})";
    writeAll(R"({"jsonrpc":"2.0","id":1,"result":{"kind":"com.lumaro.TulWidget","family":"systemSmall",)"
             R"("entry":{"date":"2026-12-06T08:00:14.123Z","view":)" +
             view + "}}}\n");
  }
  if (behaviour == "two-entries") {
    const auto entry = [](const std::string& text) {
      return R"({"date":"2026-12-06T08:00:14.123Z","view":{"type":"Text","text":")" + text + R"(","key":")" + text +
             R"(","arguments":[],"modifiers":[]}})";
    };
    writeAll(R"({"jsonrpc":"2.0","id":1,"result":{"kind":"com.lumaro.TulWidget","family":"systemSmall",)"
             R"("policy":"never","entries":[)" +
             entry("first") + "," + entry("second") + "]}}\n");
  }
  if (behaviour == "linger") {
    writeAll(R"({"jsonrpc":"2.0","id":1,"result":{"widgets":[]}})"
             "\n");
    while (std::getline(std::cin, request)) {
    }
    sleepForever();
  }
  while (std::getline(std::cin, request)) {
  }
  return 0;
}
