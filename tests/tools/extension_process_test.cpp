#include "extension_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "json_rpc.h"
#include "process_run.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tul::testing::installedPrefix;
using tul::testing::TempFolder;

// The stand-in's executable: "stand_in_" and the behaviour, '-' written as '_'.
fs::path standIn(std::string behaviour) {
  std::replace(behaviour.begin(), behaviour.end(), '-', '_');
  return fs::path(TUL_STAND_IN_DIR) / ("stand_in_" + behaviour);
}

fs::path installedExtension() {
  return installedPrefix() / TUL_INSTALL_LIBDIR / "tul-widget/TulWidgetExtension.appex/TulWidgetExtension";
}

// Whether `pid` was reaped: it is no child of ours any more.
bool reaped(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ExtensionProcess, ExchangesRequestsWithTheRealExtensionAndEndsCleanly) {
  TempFolder preferences;
  ::setenv("WIDGET_PLATFORM_PREFERENCES", preferences.path().c_str(), 1);
  auto process = ExtensionProcess::start(installedExtension(), 10s);
  ASSERT_TRUE(process.has_value()) << process.error().message;
  const pid_t pid = process->pid();

  for (std::int64_t id : {1, 2}) {
    auto line = process->exchange(requestLine(id, "widgets", nullptr));
    ASSERT_TRUE(line.has_value()) << line.error().message;
    auto answer = readAnswer(*line, id);
    ASSERT_TRUE(answer.has_value()) << answer.error().message;
    EXPECT_EQ(answer->result["widgets"][0]["kind"], "com.lumaro.TulWidget");
  }
  // Two requests in one write, answered in order.
  ASSERT_TRUE(process->send(requestLine(3, "widgets", nullptr) + "\n" + requestLine(4, "nope", nullptr) + "\n"));
  auto third = process->receiveLine();
  auto fourth = process->receiveLine();
  ASSERT_TRUE(third && fourth);
  EXPECT_TRUE(readAnswer(*third, 3).has_value());
  EXPECT_EQ(readAnswer(*fourth, 4)->error->code, kMethodNotFoundCode);

  EXPECT_TRUE(process->finish().has_value());
  EXPECT_FALSE(process->running());
  EXPECT_TRUE(reaped(pid));
  ::unsetenv("WIDGET_PLATFORM_PREFERENCES");
}

TEST(ExtensionProcess, EndsAndReapsAnExtensionThatMisbehaves) {
  struct Case {
    std::string behaviour;
    bool failsOnFinish;  // answers properly, then fails to exit
    std::string message;
  };
  const std::vector<Case> cases = {
      {"hang", false, "did not answer within 0.3 seconds; it was ended"},
      {"stubborn", false, "did not answer within 0.3 seconds; it was ended"},
      {"crash", false, "crashed (signal 11, SIGSEGV) before answering"},
      {"exit3", false, "exited with status 3 before answering"},
      {"close-output", false, "closed its output before answering; it was ended"},
      {"endless", false, ""},  // too long or too late, whichever comes first
      {"linger", true, "did not exit within 0.3 seconds after its input closed; it was ended"},
  };
  for (const auto& c : cases) {
    auto process = ExtensionProcess::start(standIn(c.behaviour), 300ms);
    ASSERT_TRUE(process.has_value()) << c.behaviour << ": " << process.error().message;
    const pid_t pid = process->pid();
    auto line = process->exchange(requestLine(1, "widgets", nullptr));
    std::optional<HostError> failure;
    if (!line) failure = line.error();
    if (c.failsOnFinish) {
      EXPECT_TRUE(line.has_value()) << c.behaviour;
      if (auto finished = process->finish(); !finished) failure = finished.error();
    }
    ASSERT_TRUE(failure.has_value()) << c.behaviour;
    EXPECT_EQ(failure->code, ExitCode::unavailable) << c.behaviour;
    EXPECT_NE(failure->message.find("the extension at " + standIn(c.behaviour).string()), std::string::npos)
        << failure->message;
    EXPECT_NE(failure->message.find(c.message), std::string::npos) << c.behaviour << ": " << failure->message;
    EXPECT_FALSE(process->running()) << c.behaviour;
    EXPECT_TRUE(reaped(pid)) << c.behaviour;
    // A failed process stays failed.
    auto again = process->exchange(requestLine(2, "widgets", nullptr));
    ASSERT_FALSE(again.has_value()) << c.behaviour;
    EXPECT_NE(again.error().message.find("has already ended"), std::string::npos);
  }
}

TEST(ExtensionProcess, RefusesToStartWhatIsNoExecutable) {
  TempFolder folder;
  tul::testing::writeBytes(folder / "plain-file", "#!/bin/sh\n");
  ::chmod((folder / "plain-file").c_str(), 0644);
  struct Case {
    fs::path path;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {folder / "missing", "No such file or directory"},
      {folder.path(), "not a file"},
      {folder / "plain-file", "not executable"},
  };
  for (const auto& c : cases) {
    auto process = ExtensionProcess::start(c.path, 1s);
    ASSERT_FALSE(process.has_value()) << c.path;
    EXPECT_EQ(process.error().code, ExitCode::unavailable);
    EXPECT_EQ(process.error().message.rfind("cannot start the extension at " + c.path.string() + ": ", 0), 0U)
        << process.error().message;
    EXPECT_NE(process.error().message.find(c.reason), std::string::npos) << process.error().message;
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

}  // namespace
}  // namespace host
