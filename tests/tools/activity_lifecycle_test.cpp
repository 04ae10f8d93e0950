// The Live Activity life cycle through the installed widget-host and extension: each
// walk's command lines, what they print and their exit statuses are kept in full in
// tests/golden/widget-host-activity-*.txt, with the activities' identifiers as $ID1,
// $ID2, ... (dates show as $DATE, so the states carry the clock's effect).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden/golden.h"
#include "installed_host.h"

namespace tul::testing {
namespace {

const std::string kStateHead = R"({"tempo":96,"beat":3,"note":4,"isPlaying":true,"isAutomated":false,"melodyName":")";

// A coded state of exactly `size` bytes (at least 90); with `wide`, its numbers are
// written short (1e18), so that the extension's encoder writes it 45 bytes longer.
std::string stateOfSize(std::size_t size, bool wide = false) {
  std::string head = kStateHead;
  if (wide) head = R"({"tempo":1e18,"beat":1e18,"note":1e18,"isPlaying":true,"isAutomated":false,"melodyName":")";
  return head + std::string(size - head.size() - 2, 'a') + "\"}";
}

// Starts one activity per start line, then runs `lines` with $ID1, $ID2, ... put in,
// and gives the transcript with the identifiers named again.
std::string walk(const Host& host, const std::vector<std::string>& starts, std::vector<std::string> lines) {
  std::vector<std::string> ids;
  for (const std::string& start : starts) {
    std::vector<std::string> words = split(start, ' ');
    const RunResult started = host.run(words);
    EXPECT_EQ(started.exitCode, 0) << started.err;
    ids.push_back(started.out.substr(0, 36));
  }
  std::vector<Line> filled;
  for (std::string& line : lines) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const std::string name = "$ID" + std::to_string(i + 1);
      for (auto at = line.find(name); at != std::string::npos; at = line.find(name)) line.replace(at, 4, ids[i]);
    }
    filled.emplace_back(line);
  }
  std::string out = transcript(host, filled);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    for (auto at = out.find(ids[i]); at != std::string::npos; at = out.find(ids[i])) {
      out.replace(at, 36, "$ID" + std::to_string(i + 1));
    }
  }
  return out;
}

TEST(ActivityLifecycleGolden, UpdatesInOrderStalenessAndSizeLimits) {
  const Host host;
  host.file("later.json", R"({"tempo":120,"beat":4,"note":4,"isPlaying":false,"isAutomated":false})");
  host.file("undecodable.json", R"({"tempo":120,"beat":4,"note":4,"isPlaying":1,"isAutomated":false})");
  host.file("4096.json", stateOfSize(4096));
  host.file("4097.json", stateOfSize(4097));
  host.file("grows.json", stateOfSize(4060, true));
  host.file("attributes-4097.json", R"({"name":")" + std::string(4097 - 11, 'n') + "\"}");
  const std::string start = "activity start --attributes " + host.folder().string() + "/attributes.json --state " +
                            host.folder().string() + "/state.json";
  expectGolden(
      "widget-host-activity-updates.txt",
      walk(host, {start + " --now 2026-12-07T09:00:00Z --stale-date 2026-12-07T10:00:00Z --relevance-score 50"},
           {"activity list --now 2026-12-07T09:30:00Z",
            "activity update $ID1 --state $DIR/later.json --now 2026-12-07T09:10:00Z",
            "activity update $ID1 --state $DIR/state.json --timestamp 2026-12-07T09:05:00Z --now 2026-12-07T09:11:00Z",
            "--format json activity update $ID1 --state $DIR/state.json --timestamp 2026-12-07T09:05:00Z --now "
            "2026-12-07T09:12:00Z",
            "activity update $ID1 --state $DIR/undecodable.json --now 2026-12-07T09:12:00Z",
            "activity update $ID1 --state $DIR/4097.json --now 2026-12-07T09:12:00Z",
            "activity update $ID1 --state $DIR/grows.json --now 2026-12-07T09:12:00Z",
            "activity show $ID1 --presentation minimal --now 2026-12-07T09:59:59Z",
            "activity show $ID1 --presentation minimal --now 2026-12-07T10:00:00Z",
            "--format json activity list --now 2026-12-07T10:00:00Z",
            "activity update $ID1 --state $DIR/4096.json --now 2026-12-07T10:01:00Z",
            "activity list --now 2026-12-07T10:01:00Z",
            "activity start --attributes $DIR/attributes-4097.json --state $DIR/state.json",
            "activity start --attributes $DIR/attributes.json --state $DIR/4097.json",
            "activity start --attributes $DIR/attributes.json --state $DIR/undecodable.json",
            "activity update 12345 --state $DIR/later.json",
            "activity update 00000000-0000-0000-0000-000000000000 --state $DIR/later.json",
            "activity list --now yesterday"}));
}

TEST(ActivityLifecycleGolden, EndsDismissalsAndTheEightHourEnd) {
  const Host host;
  host.file("final.json", R"({"tempo":60,"beat":4,"note":4,"isPlaying":false,"isAutomated":false})");
  const std::string start = "activity start --attributes " + host.folder().string() + "/attributes.json --state " +
                            host.folder().string() + "/state.json --now 2026-12-07T09:00:00Z";
  expectGolden(
      "widget-host-activity-ends.txt",
      walk(host, {start, start, start, start},
           {"activity end $ID1 --dismissal-policy immediate --now 2026-12-07T09:30:00Z",
            "activity end $ID2 --state $DIR/final.json --timestamp 2026-12-07T08:00:00Z --now 2026-12-07T09:30:00Z",
            "activity end $ID3 --dismissal-policy after:2026-12-07T10:00:00Z --now 2026-12-07T09:30:00Z",
            "activity end $ID3 --now 2026-12-07T09:31:00Z",
            "activity update $ID2 --state $DIR/state.json --now 2026-12-07T09:31:00Z",
            "activity list --now 2026-12-07T09:59:59Z", "activity list --now 2026-12-07T13:29:59Z",
            "activity list --now 2026-12-07T16:59:59Z",
            "activity update $ID4 --state $DIR/final.json --now 2026-12-07T17:00:00Z",
            "activity list --now 2026-12-07T20:59:59Z", "activity list --now 2026-12-07T21:00:00Z",
            "activity end $ID4 --dismissal-policy later --now 2026-12-07T17:00:00Z",
            "activity show $ID2 --presentation lock-screen --now 2026-12-07T09:31:00Z"}));
}

}  // namespace
}  // namespace tul::testing
