// ExtensionProcess and ExtensionSession: a real extension child on pipes, started,
// asked, ended and reaped.
#include "extension_process.h"
#include "extension_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "installed_host.h"
#include "json_rpc.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tul::testing;

// Whether `pid` was reaped: it is no child of ours any more.
bool reaped(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD; }

TEST(ExtensionProcess, ExchangesRequestsWithTheRealExtensionAndEndsCleanly) {
  const TempPreferences preferences;
  auto process = ExtensionProcess::start(installedBundle() / "TulWidgetExtension", 10s);
  ASSERT_TRUE(process.has_value()) << process.error().message;
  auto line = process->exchange(requestLine(1, "widgets", nullptr));
  ASSERT_TRUE(line.has_value()) << line.error().message;
  EXPECT_EQ(readAnswer(*line, 1).value().result["widgets"][0]["kind"], "com.lumaro.TulWidget");
  // Two requests in one write, answered in order.
  ASSERT_TRUE(process->send(requestLine(2, "widgets", nullptr) + "\n" + requestLine(3, "nope", nullptr) + "\n"));
  EXPECT_TRUE(readAnswer(process->receiveLine().value(), 2).has_value());
  EXPECT_EQ(readAnswer(process->receiveLine().value(), 3).value().error.value().code, widgetkit::kMethodNotFound);

  const pid_t pid = process->pid();
  EXPECT_TRUE(process->finish().has_value());
  EXPECT_FALSE(process->running());
  EXPECT_TRUE(reaped(pid));
}

TEST(ExtensionProcess, AFailedProcessIsReapedAndStaysFailed) {
  auto process = ExtensionProcess::start(standIn("crash"), 5s);
  ASSERT_TRUE(process.has_value()) << process.error().message;
  const pid_t pid = process->pid();
  ASSERT_FALSE(process->exchange(requestLine(1, "widgets", nullptr)).has_value());
  EXPECT_TRUE(reaped(pid));
  const auto again = process->exchange(requestLine(2, "widgets", nullptr));
  ASSERT_FALSE(again.has_value());
  EXPECT_NE(again.error().message.find("has already ended"), std::string::npos) << again.error().message;
}

TEST(ExtensionProcess, RefusesToStartWhatIsNoExecutable) {
  TempFolder folder;
  writeFile(folder / "plain-file", "#!/bin/sh\n");
  ::chmod((folder / "plain-file").c_str(), 0644);
  const std::pair<fs::path, std::string> cases[] = {
      {folder / "missing", "No such file or directory"},
      {folder.path(), "not a file"},
      {folder / "plain-file", "not executable"},
  };
  for (const auto& [path, reason] : cases) {
    auto process = ExtensionProcess::start(path, 1s);
    ASSERT_FALSE(process.has_value()) << path;
    EXPECT_EQ(process.error().code, ExitCode::unavailable);
    EXPECT_EQ(process.error().message.rfind("cannot start the extension at " + path.string() + ": ", 0), 0U)
        << process.error().message;
    EXPECT_NE(process.error().message.find(reason), std::string::npos) << process.error().message;
  }
}

TEST(ExtensionProcess, LeavesNoChildBehindWhenDropped) {
  pid_t pid = -1;
  {
    auto process = ExtensionProcess::start(standIn("stubborn"), 5s);
    ASSERT_TRUE(process.has_value());
    pid = process->pid();
    ASSERT_TRUE(process->send(requestLine(1, "widgets", nullptr) + "\n"));
    ExtensionProcess moved = std::move(*process);
    EXPECT_FALSE(process->running());  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_TRUE(moved.running());
  }
  EXPECT_TRUE(reaped(pid));
  EXPECT_EQ(::kill(pid, 0), -1);
}

// Posted requests are answered in their order, a refusal only for its own request; a
// failure of the process fails every answer still awaited, and whatever is posted
// after it. With its requests ended, the extension exits once it has answered them.
TEST(ExtensionSession, PostedRequestsAreAnsweredInOrderUntilTheProcessFails) {
  const TempPreferences preferences;
  auto session = ExtensionSession::start(ExtensionOptions{installedBundle() / "TulWidgetExtension"});
  ASSERT_TRUE(session.has_value()) << session.error().message;
  const Json widget = {{"kind", "com.lumaro.TulWidget"}, {"family", "systemSmall"}};
  session->post("placeholder", widget);
  session->post("snapshot", {{"kind", "com.lumaro.TulWidget"}, {"family", "systemLarge"}});
  session->post("widgets", nullptr);
  EXPECT_EQ(session->nextAnswer().value()["kind"], "com.lumaro.TulWidget");
  const auto refused = session->nextAnswer();
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code, ExitCode::usage) << refused.error().message;
  EXPECT_TRUE(session->usable());
  EXPECT_EQ(session->nextAnswer().value()["widgets"][0]["kind"], "com.lumaro.TulWidget");
  EXPECT_EQ(session->nextAnswer().error().code, ExitCode::internal);  // nothing was posted
  session->endRequests();
  session->post("placeholder", widget);
  EXPECT_TRUE(session->nextAnswer().has_value());
  // It exits on its own, before finish() closes anything (left unreaped until then).
  const pid_t pid = session->pid();
  siginfo_t exited{};
  for (int i = 0; i < 500 && exited.si_pid == 0; ++i) {
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &exited, WEXITED | WNOHANG | WNOWAIT), 0);
    if (exited.si_pid == 0) ::usleep(10'000);
  }
  EXPECT_EQ(exited.si_pid, pid);
  EXPECT_TRUE(session->finish().has_value());

  auto crashing = ExtensionSession::start(ExtensionOptions{standIn("crash"), 5s});
  ASSERT_TRUE(crashing.has_value());
  for (int i = 0; i < 3; ++i) crashing->post("widgets", nullptr);
  const auto first = crashing->nextAnswer();
  ASSERT_FALSE(first.has_value());
  EXPECT_NE(first.error().message.find("crashed"), std::string::npos) << first.error().message;
  EXPECT_FALSE(crashing->usable());
  crashing->post("widgets", nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(crashing->nextAnswer().error().message, first.error().message);
}

}  // namespace
}  // namespace host
