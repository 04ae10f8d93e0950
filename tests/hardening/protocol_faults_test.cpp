// Protocol faults, against the real extension executable through real pipes: bytes
// that are not requests, requests cut short, nesting too deep, lines too long, more
// requests than it can answer at once, and a host that closes its end mid-request or
// goes away. The extension answers each with a clear error, keeps serving, and ends
// cleanly when its input closes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <thread>

#include "golden/golden.h"
#include "hardening_support.h"
#include "platform/foundation/data.h"
#include "platform/widgetkit/protocol_error_codes.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::hardening {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;
using testing::ChildProcess;
using namespace widgetkit;

std::string request(const Json& id, const std::string& method, const Json& params = nullptr) {
  Json message = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
  if (!params.is_null()) message["params"] = params;
  return message.dump();
}

// A whole "widgets" request padded with blanks inside its object to exactly `size` bytes.
std::string padded(std::size_t size, const Json& id = 1) {
  std::string line = request(id, "widgets");
  return line.insert(line.size() - 1, size - line.size(), ' ');
}

const std::string kKind = "com.lumaro.TulWidget";
const std::string kState = R"({"tempo":96,"beat":3,"note":4,"isPlaying":true,"isAutomated":false})";

const auto base64 = foundation::base64Encoded;

Json activityParams(const std::string& state) {
  return {{"attributes", base64(R"({"name":"Practice"})")}, {"state", base64(state)}, {"presentation", "minimal"}};
}

// A running extension with preferences of its own.
struct Extension {
  testing::TempPreferences prefs;
  ChildProcess process = ChildProcess::start({TUL_EXTENSION_EXECUTABLE}).value();

  // Writes `input` from another thread (so that neither side can block the other on a
  // full pipe), closing the input afterwards when asked, and reads up to `answers` lines.
  std::vector<std::string> exchange(std::string input, std::size_t answers, bool closeAfter = false) {
    std::thread writer([&] {
      process.write(input, 60s);
      if (closeAfter) process.closeInput();
    });
    std::vector<std::string> lines;
    while (lines.size() < answers) {
      auto line = process.readLine(60s);
      if (!line) break;
      lines.push_back(std::move(*line));
    }
    writer.join();
    return lines;
  }
};

// The error code of an answer line, or 0 when it is a result; -1 when it is no
// JSON-RPC answer at all.
int codeOf(const std::string& line) {
  const Json answer = Json::parse(line, nullptr, false);
  if (!answer.is_object() || answer.value("jsonrpc", "") != "2.0" || !answer.contains("id")) return -1;
  if (answer.contains("result")) return 0;
  const auto& error = answer["error"];
  if (!error.is_object() || !error["message"].is_string() || error["message"].get<std::string>().empty()) return -1;
  return error.value("code", -1);
}

TEST(ExtensionProtocolFaults, BadLinesGetAClearErrorAndServingGoesOn) {
  // The lines of protocol_bad_lines.txt, each after a "# " line naming it, and more
  // made here; their answers are compared whole with the golden file.
  std::vector<std::pair<std::string, std::string>> cases;
  std::istringstream listed(testing::readFile(TUL_HARDENING_DIR "/protocol_bad_lines.txt"));
  for (std::string what, line; std::getline(listed, what);) {
    if (what.starts_with("# ") && std::getline(listed, line)) cases.emplace_back(what.substr(2), line);
  }
  cases.insert(cases.end(), {
                                {"invalid UTF-8", "{\"jsonrpc\":\"2.0\",\"id\":\"\xC0\xAF\",\"method\":\"widgets\"}"},
                                {"a NUL byte", std::string("{\"jsonrpc\":\"2.0\",\0\"id\":1}", 24)},
                                {"100000 levels, closed", std::string(100000, '[') + std::string(100000, ']')},
                                {"a million levels, never closed", std::string(1000000, '{')},
                                {"a million arrays opened in a member",
                                 R"({"jsonrpc":"2.0","id":3,"method":"widgets","x":)" + std::string(1000000, '[')},
                            });
  // Every cut of two whole requests: none of the pieces is a request.
  const std::string wholes[] = {request(1, "timeline", {{"kind", kKind}}),
                                request(1, "activity", activityParams(kState))};
  for (std::size_t w = 0; w < 2; ++w) {
    for (std::size_t length = 1; length < wholes[w].size(); ++length) {
      cases.emplace_back("the first " + std::to_string(length) + " bytes of request " + std::to_string(w + 1),
                         wholes[w].substr(0, length));
    }
  }
  cases.emplace_back("a line of 1 MiB and a byte", padded(1024 * 1024 + 1));
  // Lines that are served (checked by their code): the deepest nesting and the longest
  // line allowed; then random bytes, any but '\n', which may be refused as not JSON or
  // as no request object (a line of only blanks gets no answer and is left out).
  std::vector<std::string> served = {
      R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{"kind":"com.lumaro.TulWidget","x":)" +
          std::string(510, '[') + std::string(510, ']') + "}}",
      padded(1024 * 1024)};
  const unsigned seed = hardeningSeed();
  std::mt19937 random(seed);
  for (int i = 0; i < 300; ++i) {
    std::string line(std::uniform_int_distribution<std::size_t>(1, 400)(random), ' ');
    for (char& c : line) c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    std::replace(line.begin(), line.end(), '\n', ' ');
    if (line.find_first_not_of(" \t\r") != std::string::npos) served.push_back(line);
  }

  Extension extension;
  std::string input;
  for (const auto& [what, line] : cases) input += line + "\n";
  for (const auto& line : served) input += line + "\n";
  input += "\n  \t\r\n" + request("after", "widgets") + "\n";
  const auto answers = extension.exchange(input, cases.size() + served.size() + 1);
  ASSERT_EQ(answers.size(), cases.size() + served.size() + 1) << "the extension stopped answering";
  std::string shown;
  for (std::size_t i = 0; i < cases.size(); ++i) shown += "# " + cases[i].first + "\n" + answers[i] + "\n";
  testing::expectGolden("protocol-bad-lines.txt", shown);
  EXPECT_EQ(codeOf(answers[cases.size()]), 0) << "512 levels, the most allowed: " << answers[cases.size()];
  EXPECT_EQ(codeOf(answers[cases.size() + 1]), 0) << "a line of exactly 1 MiB: " << answers[cases.size() + 1];
  for (std::size_t i = cases.size() + 2; i < answers.size() - 1; ++i) {
    const int code = codeOf(answers[i]);
    EXPECT_TRUE(code == kParseError || code == kInvalidRequest) << "seed " << seed << ": " << answers[i].substr(0, 300);
  }
  EXPECT_EQ(Json::parse(answers.back())["id"], "after") << answers.back();
  extension.process.closeInput();
  EXPECT_EQ(extension.process.wait(), 0);
}

TEST(ExtensionProtocolFaults, A256MiBLineIsRefusedWithoutBeingHeld) {
  Extension extension;
  ChildProcess& process = extension.process;
  // Measured from a warm extension that has already held a line of the largest size it
  // serves, so that only what the oversized line itself costs is counted.
  ASSERT_EQ(extension.exchange(padded(1024 * 1024, "warm") + "\n", 1).size(), 1u);
  const long before = process.peakResidentKiB().value_or(0);
  std::thread writer([&] {
    const std::string chunk(1024 * 1024, 'x');
    for (int i = 0; i < 256; ++i) {
      if (!process.write(chunk, 60s)) return;
    }
    process.write("\n" + request("after", "widgets") + "\n", 60s);
  });
  const auto refused = process.readLine(120s);
  const auto after = process.readLine(60s);
  writer.join();
  const long peak = process.peakResidentKiB().value_or(0);
  ASSERT_TRUE(refused && after);
  EXPECT_EQ(codeOf(*refused), kInvalidRequest) << *refused;
  EXPECT_TRUE(Json::parse(*refused)["id"].is_null());
  EXPECT_EQ(codeOf(*after), 0) << *after;
  EXPECT_LT(peak - before, 32 * 1024) << "peak memory grew from " << before << " KiB to " << peak << " KiB";
}

TEST(ExtensionProtocolFaults, RequestsSentFasterThanAnsweredAreAllAnsweredInOrder) {
  const long count = countFromEnvironment("TUL_PROTOCOL_REQUESTS", 2500);
  // Five kinds of request in turn; the notification gets no answer.
  std::string input;
  std::vector<std::pair<long, int>> expected;  // id and code
  for (long i = 0; i < count; ++i) {
    const std::string lines[] = {request(i, "timeline", {{"kind", kKind}}), request(i, "widgets", {{"locale", "de"}}),
                                 request(i, "activity", activityParams(kState)), request(i, "reload"),
                                 R"({"jsonrpc":"2.0","method":"timeline","params":{"kind":"com.lumaro.TulWidget"}})"};
    input += lines[i % 5] + '\n';
    if (i % 5 != 4) expected.emplace_back(i, i % 5 == 3 ? kMethodNotFound : 0);
  }
  Extension extension;
  const auto answers = extension.exchange(input, expected.size(), /*closeAfter=*/true);
  ASSERT_EQ(answers.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(Json::parse(answers[i], nullptr, false).value("id", -1L), expected[i].first) << "out of order at " << i;
    EXPECT_EQ(codeOf(answers[i]), expected[i].second) << answers[i].substr(0, 300);
  }
  EXPECT_EQ(extension.process.readToEnd(10s), "") << "answers beyond one per request";
  EXPECT_EQ(extension.process.wait(), 0);
}

TEST(ExtensionProtocolFaults, InputClosedMidRequestEndsTheLoopCleanly) {
  const std::string whole = request(1, "timeline", {{"kind", kKind}});
  const struct {
    const char* what;
    std::string input;
    std::vector<int> codes;  // of the answers, in order
  } cases[] = {
      {"a whole request without its newline", whole, {0}},
      {"a request, then the start of a character", whole + "\n{\"id\":\"\xE2\x82", {0, kParseError}},
      {"2 MiB of a line", std::string(2 * 1024 * 1024, 'y'), {kInvalidRequest}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Extension extension;
    const auto answers = extension.exchange(c.input, 3, /*closeAfter=*/true);
    EXPECT_EQ(extension.process.readToEnd(10s), "") << "a torn last answer";
    EXPECT_EQ(extension.process.wait(), 0) << "the loop did not end cleanly";
    std::vector<int> codes;
    for (const auto& answer : answers) codes.push_back(codeOf(answer));
    EXPECT_EQ(codes, c.codes);
  }
}

TEST(ExtensionProtocolFaults, AHostThatGoesAwayEndsTheLoopWithoutASignal) {
  // The extension starts as the host starts it, with SIGPIPE at its default (this
  // process ignores it, and a child would inherit that), and answers into a pipe whose
  // reader takes one line and goes away. Its exit status comes back on our pipe.
  const testing::TempPreferences prefs;
  ChildProcess shell = ChildProcess::start({"/usr/bin/env", "--default-signal=PIPE", "/bin/sh", "-c",
                                            R"(exec 3>&1; { "$0"; echo "status $?" >&3; } | head -n 1 >/dev/null)",
                                            TUL_EXTENSION_EXECUTABLE})
                           .value();
  std::optional<std::string> status;
  for (int i = 0; i < 1000 && !status; ++i) {
    if (!shell.write(request(i, "timeline", {{"kind", kKind}}) + "\n", 1s)) break;
    status = shell.readLine(1ms);
  }
  if (!status) status = shell.readLine(10s);
  ASSERT_TRUE(status) << "the extension went on running with nobody to answer";
  ASSERT_TRUE(status->starts_with("status ")) << *status;
  EXPECT_LT(std::stoi(status->substr(7)), 128) << *status << ": ended by a signal";
}

}  // namespace
}  // namespace tul::hardening
