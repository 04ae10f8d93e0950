// The live host through its real parts: the installed widget-host serve and watch as
// child processes on port 0, with the installed extension, spoken to over real
// sockets, and widget-host defaults write and reload from other processes.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <nlohmann/json.hpp>

#include "installed_host.h"

using namespace tul::testing;
using Json = nlohmann::json;

namespace {

// One connection to the live host: bytes sent as they are, answers read with a deadline.
class Connection {
 public:
  explicit Connection(int port) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~Connection() { ::close(socket_); }
  void send(const std::string& bytes) {
    EXPECT_EQ(::write(socket_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // What has come when `needle` is read (from `from` on), the end comes, or `wait` ms pass.
  const std::string& readUntil(const std::string& needle, std::size_t from = 0, int wait = 5000) {
    for (pollfd ready{socket_, POLLIN, 0};
         read_.find(needle, from) == std::string::npos && ::poll(&ready, 1, wait) == 1;) {
      char buffer[65536];
      const ssize_t got = ::read(socket_, buffer, sizeof buffer);
      if (got <= 0) break;
      read_.append(buffer, static_cast<std::size_t>(got));
    }
    return read_;
  }

 private:
  int socket_;
  std::string read_;
};

std::string request(const std::string& method, const std::string& path, const std::string& headers = "",
                    const std::string& body = "") {
  return method + " " + path + " HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// The status code and body of one request.
std::pair<int, std::string> ask(int port, const std::string& text) {
  Connection connection(port);
  connection.send(text);
  const std::string& answer = connection.readUntil("\r\n\r\n\x01");
  const auto body = answer.find("\r\n\r\n");
  return {answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0,
          body == std::string::npos ? "" : answer.substr(body + 4)};
}

struct LiveHost {
  Host host;
  TempFolder runtime{"live-runtime"};
  std::optional<ChildProcess> child;
  int port = 0;
  std::string token;

  explicit LiveHost(const std::string& mode, const std::vector<std::string>& options = {}) {
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    ::chmod(runtime.path().c_str(), 0700);
    std::vector<std::string> argv{installedHost().string(), "--preferences", host.preferences().string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(mode);
    child.emplace(*ChildProcess::start(argv, {{}, true}));
  }
  void started() {
    const auto url = child->readLine();
    ASSERT_TRUE(url && url->starts_with("http://127.0.0.1:")) << url.value_or("") << child->errorOutput();
    port = std::stoi(url->substr(17));
    token = Json::parse(readFile(runtimeFile()))["token"];
  }
  std::filesystem::path runtimeFile() const {
    for (const auto& entry : std::filesystem::directory_iterator(runtime.path() / "widget-host")) return entry.path();
    return {};
  }
  std::string hostHeader() const { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }
  std::string tokenHeader() const { return hostHeader() + "X-Widget-Host-Token: " + token + "\r\n"; }
};

const std::string kPreset =
    R"({"isPlaylingList":false,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":72,"note":4,"beat":3,)"
    R"("subdivision":"0","acc":"2000","name":"Evening set","rythmMode":0,"id":"3AFBD376-5AEC-4704-9518-98A648685F20"})";

TEST(LiveHost, ServesTheTimelineOnlyToItsOwnPageAndFollowsTheReloadRule) {
  LiveHost live("serve");
  ASSERT_NO_FATAL_FAILURE(live.started());
  const std::string port = std::to_string(live.port);
  EXPECT_EQ(std::filesystem::status(live.runtimeFile()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  struct Case {
    std::string what, request;
    int status;
  };
  const Case cases[] = {
      {"the page", request("GET", "/", live.hostHeader()), 200},
      {"localhost", request("GET", "/api/status", "Host: localhost:" + port + "\r\n"), 200},
      {"a rebound name", request("GET", "/api/timeline", "Host: evil.example:" + port + "\r\n"), 403},
      {"another site", request("GET", "/", live.hostHeader() + "Origin: http://evil.example\r\n"), 403},
      {"its own page", request("POST", "/api/reload", live.tokenHeader() + "Origin: http://127.0.0.1:" + port + "\r\n"),
       200},
      {"no token", request("POST", "/api/reload", live.hostHeader()), 403},
      {"a wrong token", request("POST", "/api/reload", live.hostHeader() + "X-Widget-Host-Token: 00\r\n"), 403},
      {"over the limit", "POST /api/preset HTTP/1.1\r\n" + live.tokenHeader() + "Content-Length: 4194305\r\n\r\n", 413},
      {"an unknown picture", request("GET", "/pictures/0123456789abcdef.png", live.hostHeader()), 404},
  };
  for (const Case& each : cases) {
    const auto [status, body] = ask(live.port, each.request);
    EXPECT_EQ(status, each.status) << each.what << ": " << body;
  }
  EXPECT_EQ(ask(live.port, request("GET", "/", live.hostHeader())).second.find("Access-Control"), std::string::npos);

  // The timeline as `widget-host --format json timeline` prints it, but for its dates.
  const auto withoutDates = [](Json timeline) {
    for (Json& entry : timeline["entries"]) entry.erase("date");
    return timeline;
  };
  const Json shown = Json::parse(ask(live.port, request("GET", "/api/timeline", live.hostHeader())).second);
  EXPECT_EQ(withoutDates(shown), withoutDates(Json::parse(live.host.run({"--format", "json", "timeline"}).out)));

  std::vector<std::unique_ptr<Connection>> subscribers;
  for (int i = 0; i < 8; ++i) {
    subscribers.push_back(std::make_unique<Connection>(live.port));
    subscribers.back()->send(request("GET", "/events", live.hostHeader()));
    EXPECT_NE(subscribers.back()->readUntil("event: status").find("event: status"), std::string::npos);
  }
  EXPECT_EQ(ask(live.port, request("GET", "/events", live.hostHeader())).first, 503);
  Connection& events = *subscribers.front();
  std::size_t seen = events.readUntil("\x01", 0, 300).size();

  // A write by the host app is announced, and the widget keeps its timeline...
  live.host.file("preset.json", kPreset);
  ASSERT_EQ(
      live.host.run({"defaults", "write", kSuite, kKey, "--data-file", (live.host.folder() / "preset.json").string()})
          .exitCode,
      0);
  EXPECT_NE(events.readUntil("event: preferences", seen).find("event: preferences", seen), std::string::npos);
  EXPECT_EQ(events.readUntil("event: timeline", seen, 300).find("event: timeline", seen), std::string::npos);
  // ...until timelines are reloaded.
  seen = events.readUntil("\x01", seen, 300).size();
  const RunResult reload = live.host.run({"reload"});
  EXPECT_EQ(reload.exitCode, 0) << reload.err;
  const std::string& after = events.readUntil(R"("Evening set")", seen);
  EXPECT_LT(after.find("event: timeline", seen), after.find(R"("Evening set")", seen));
  // A preset that does not decode is stored as it is; the reload says why it is not used.
  std::string broken = kPreset;
  broken.replace(broken.find("72"), 2, R"("fast")");
  EXPECT_EQ(ask(live.port, request("POST", "/api/preset", live.tokenHeader(), broken)).first, 200);
  EXPECT_EQ(ask(live.port, request("POST", "/api/reload", live.tokenHeader())).first, 200);
  EXPECT_NE(events.readUntil(R"(typeMismatch at \"bpm\")", seen).find(R"(typeMismatch at \"bpm\")", seen),
            std::string::npos);
  const RunResult other = live.host.run({"reload", "--kind", "com.example.Other"});
  EXPECT_EQ(other.exitCode, 0);
  EXPECT_NE(other.err.find("ignored"), std::string::npos);

  // A killed extension is announced, and another answers the next reload.
  const Json status = Json::parse(ask(live.port, request("GET", "/api/status", live.hostHeader())).second);
  seen = events.readUntil("\x01", seen, 300).size();
  ::kill(status["pid"].get<pid_t>(), SIGKILL);
  EXPECT_NE(events.readUntil("SIGKILL", seen).find("SIGKILL", seen), std::string::npos);
  EXPECT_EQ(live.host.run({"reload"}).exitCode, 0);

  const auto file = live.runtimeFile();
  live.child->kill(SIGTERM);
  EXPECT_EQ(live.child->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  const RunResult none = live.host.run({"reload"});
  EXPECT_EQ(none.exitCode, 69);
  EXPECT_NE(none.err.find("no live host runs"), std::string::npos) << none.err;
  // A file left by a killed host is stale.
  writeFile(file, R"({"url":"http://127.0.0.1:1/","host":"127.0.0.1","port":1,"token":"00","pid":2147483646})");
  EXPECT_NE(live.host.run({"reload"}).err.find("stale"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(file));
}

// `offset` after `base`, to the second, as the activity commands read dates.
std::string isoDate(std::chrono::seconds offset,
                    std::chrono::system_clock::time_point base = std::chrono::system_clock::now()) {
  const std::time_t when = std::chrono::system_clock::to_time_t(base + offset);
  std::tm parts{};
  ::gmtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// Starts an activity from another process; its identifier.
std::string startActivity(const Host& host, const std::vector<std::string>& options) {
  std::vector<std::string> argv{"activity",     "start",
                                "--attributes", (host.folder() / "attributes.json").string(),
                                "--state",      (host.folder() / "state.json").string()};
  argv.insert(argv.end(), options.begin(), options.end());
  const RunResult started = host.run(argv);
  EXPECT_EQ(started.exitCode, 0) << started.err;
  return started.out.substr(0, 36);
}

// The data of the first "activity" event for `id` in `state` read from `from` on.
Json activityEvent(Connection& events, const std::string& id, const std::string& state, std::size_t& from) {
  const std::string needle = R"("id":")" + id + R"(","state":")" + state + "\"";
  const std::string& text = events.readUntil(needle, from);
  const std::size_t at = text.find(needle, from);
  if (at == std::string::npos) return nullptr;
  const std::size_t start = text.rfind("data: ", at) + 6;
  from = text.find('\n', at);
  return Json::parse(text.substr(start, from - start));
}

TEST(LiveHost, ShowsEveryStoredActivityAsItChangesOnTheClock) {
  using std::chrono::seconds;
  LiveHost live("serve");
  const auto now = std::chrono::system_clock::now();
  const std::string staling = startActivity(live.host, {"--stale-date", isoDate(seconds(3), now)});
  ASSERT_NO_FATAL_FAILURE(live.started());
  Connection events(live.port);
  events.send(request("GET", "/events", live.hostHeader()));
  std::size_t seen = 0;
  const Json active = activityEvent(events, staling, "active", seen);
  ASSERT_TRUE(active.is_object());
  for (const char* shape : {"lock-screen", "compact", "minimal", "expanded"}) {
    const std::string address = active["pictures"].value(shape, "");
    EXPECT_EQ(ask(live.port, request("GET", address, live.hostHeader())).second.substr(1, 3), "PNG") << shape;
  }

  // Changes made by other processes are noticed; the clock's come each on its date.
  const std::string ending = startActivity(live.host, {});
  const std::string expiring = startActivity(live.host, {"--now", isoDate(seconds(6 - 8 * 3600), now)});
  std::size_t from = seen;
  EXPECT_TRUE(activityEvent(events, ending, "active", from).is_object());
  ASSERT_EQ(
      live.host.run({"activity", "end", ending, "--dismissal-policy", "after:" + isoDate(seconds(6), now)}).exitCode,
      0);
  from = seen;
  EXPECT_TRUE(activityEvent(events, ending, "ended", from).is_object());
  std::size_t staleAt = seen;
  const Json stale = activityEvent(events, staling, "stale", staleAt);
  ASSERT_TRUE(stale.is_object());
  EXPECT_NE(stale["pictures"]["lock-screen"], active["pictures"]["lock-screen"]);
  EXPECT_EQ(stale["startedAt"], active["startedAt"]);
  from = seen;
  EXPECT_EQ(activityEvent(events, ending, "dismissed", from)["pictures"], Json::object());
  EXPECT_LT(staleAt, from);
  from = seen;
  EXPECT_EQ(activityEvent(events, expiring, "ended", from)["endedAt"].get<std::string>().substr(0, 19),
            isoDate(seconds(6), now).substr(0, 19));
  EXPECT_LT(staleAt, from);
}

TEST(LiveHost, AnExtensionThatKeepsCrashingIsRestartedOnlyAFewTimesAMinute) {
  LiveHost live("serve", {"--extension", standIn("crash").string()});
  ASSERT_NO_FATAL_FAILURE(live.started());
  std::vector<std::string> answers;
  for (int i = 0; i < 6; ++i)
    answers.push_back(ask(live.port, request("POST", "/api/reload", live.tokenHeader())).second);
  EXPECT_NE(answers.front().find("SIGSEGV"), std::string::npos) << answers.front();
  EXPECT_NE(answers.back().find("5 times in the last minute"), std::string::npos) << answers.back();
}

TEST(LiveHost, AnExtensionThatHangsIsEndedAndReported) {
  LiveHost live("serve", {"--timeout", "0.3", "--extension", standIn("hang").string()});
  ASSERT_NO_FATAL_FAILURE(live.started());
  const std::string answer = ask(live.port, request("POST", "/api/reload", live.tokenHeader())).second;
  EXPECT_NE(answer.find("did not answer within"), std::string::npos) << answer;
  live.child->kill(SIGTERM);
  EXPECT_EQ(live.child->wait(), 0);
}

TEST(LiveHost, WatchPrintsOneOutlinePerReloadAndALinePerActivityChange) {
  LiveHost live("watch");
  const auto first = live.child->readLine();
  ASSERT_TRUE(first && first->starts_with("--- ")) << first.value_or("") << live.child->errorOutput();
  EXPECT_EQ(live.host.run({"reload"}).exitCode, 0);
  std::optional<std::string> line;
  while ((line = live.child->readLine()) && !line->starts_with("--- ")) {
  }
  ASSERT_TRUE(line);
  EXPECT_NE(line->find("widget-host reload"), std::string::npos);
  const std::string id = startActivity(live.host, {});
  while ((line = live.child->readLine()) && line->find(" activity ") == std::string::npos) {
  }
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->ends_with("the activity store changed: activity " + id + " active")) << *line;
  live.child->kill(SIGTERM);
  EXPECT_EQ(live.child->wait(), 0);
}

TEST(LiveHost, ThePageFollowsInChromium) {
  const std::filesystem::path browser = TUL_BROWSER_DIR;
  for (const char* program : {"/usr/bin/chromium", "/usr/bin/node", "/usr/bin/npm"}) {
    if (!std::filesystem::exists(program))
      GTEST_SKIP() << program << " is missing; scripts/install-deps.sh --test installs it";
  }
  // puppeteer-core, as browser/package-lock.json pins it, from the npm registry.
  if (!std::filesystem::exists(browser / "node_modules/puppeteer-core/package.json")) {
    const RunResult install = run({"/usr/bin/npm", "ci", "--no-audit", "--no-fund", "--prefix", browser.string()}, "",
                                  {}, std::chrono::minutes(5));
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
  }
  LiveHost live("serve");
  ASSERT_NO_FATAL_FAILURE(live.started());
  startActivity(live.host, {"--stale-date", isoDate(std::chrono::seconds(-1))});
  const TempFolder profile("live-chromium");
  const RunResult page = run({"/usr/bin/node", (browser / "live_page.mjs").string(),
                              "http://127.0.0.1:" + std::to_string(live.port) + "/", profile.path().string()},
                             "", {{"HOME", profile.path().string()}}, std::chrono::minutes(2), ProcessGroup::own);
  EXPECT_EQ(page.out, "ok\n") << page.err;
}

}  // namespace
