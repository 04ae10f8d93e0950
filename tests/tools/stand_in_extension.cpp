// A stand-in for a misbehaving extension, built once per behaviour (STAND_IN_BEHAVIOUR)
// so that the host can be given each with --extension. Each reads one request, then
// (missing-image answers every request alike, with its id; the others, only the first):
//   hang            never answers
//   stubborn        as hang, and ignores SIGTERM
//   crash           dies of SIGSEGV
//   garbage         answers with a line that is not JSON
//   deep            answers with an array nested far too deep
//   partial         writes the start of an answer, then exits with status 0
//   missing-image   answers with an entry whose view names an image no bundle has
//   unreadable-tree answers with an entry whose view is not a view tree
//   two-entries     answers with a timeline of two entries, each a Text
//   loud-error      answers with an error whose message holds terminal controls
//   fails-after-answer  answers as two-entries, then exits with status 3 at end of input
//   crash-on-activity   answers each widget request with an entry that is a Text, and
//                       dies of SIGSEGV at the first activity request
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>

namespace {

void sleepForever() {
  for (;;) ::pause();
}

std::string entry(const std::string& view) { return R"({"date":"2026-12-06T08:00:14.123Z","view":)" + view + "}"; }

std::string text(const std::string& text) {
  return R"({"type":"Text","text":")" + text + R"(","key":")" + text + R"(","arguments":[],"modifiers":[]})";
}

// The answer this behaviour gives, or none.
std::string answer(const std::string& behaviour) {
  const std::string start = R"({"jsonrpc":"2.0","id":1,)";
  const std::string widget = start + R"("result":{"kind":"com.lumaro.TulWidget","family":"systemSmall",)";
  if (behaviour == "garbage") return "this is not JSON\n";
  if (behaviour == "loud-error") {
    return start + R"("error":{"code":-32000,"message":"\u001b[2Jcleared \u009b1m \u202Eright\u2028next"}})" + "\n";
  }
  if (behaviour == "deep") return start + R"("result":)" + std::string(100000, '[') + std::string(100000, ']') + "}\n";
  if (behaviour == "partial") return start;
  if (behaviour == "missing-image") {
    return widget + R"("entry":)" +
           entry(R"({"type":"Image","name":"nowhere","bundle":null,"resizable":null,"modifiers":[]})") + "}}\n";
  }
  if (behaviour == "unreadable-tree")
    return widget + R"("entry":)" + entry(R"({"type":"Hologram","modifiers":[]})") + "}}\n";
  if (behaviour == "two-entries" || behaviour == "fails-after-answer") {
    return widget + R"("policy":"never","entries":[)" + entry(text("first")) + "," + entry(text("second")) + "]}}\n";
  }
  return "";
}

}  // namespace

int main() {
  const std::string behaviour = STAND_IN_BEHAVIOUR;
  std::signal(SIGPIPE, SIG_IGN);  // a host that went away ends the answer, not this process
  if (behaviour == "stubborn") std::signal(SIGTERM, SIG_IGN);
  std::string request;
  if (behaviour == "crash-on-activity") {
    while (std::getline(std::cin, request)) {
      if (request.find(R"("method":"activity")") != std::string::npos) {
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
      }
      const std::size_t id = request.find(R"("id":)") + 5;
      std::cout << R"({"jsonrpc":"2.0","id":)" << request.substr(id, request.find(',', id) - id)
                << R"(,"result":{"kind":"com.lumaro.TulWidget","family":"systemSmall","entry":)" << entry(text("first"))
                << "}}\n"
                << std::flush;
    }
    return 0;
  }
  if (!std::getline(std::cin, request)) return 0;
  if (behaviour == "hang" || behaviour == "stubborn") sleepForever();
  if (behaviour == "crash") {
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
  }
  std::cout << answer(behaviour) << std::flush;
  if (behaviour == "partial") return 0;
  for (int id = 2; std::getline(std::cin, request); ++id) {
    if (behaviour == "missing-image") {
      std::string next = answer(behaviour);
      next.replace(next.find(R"("id":1)"), 6, R"("id":)" + std::to_string(id));
      std::cout << next << std::flush;
    }
  }
  return behaviour == "fails-after-answer" ? 3 : 0;
}
