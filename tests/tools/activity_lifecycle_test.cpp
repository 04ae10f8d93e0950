// The Live Activity life cycle through the installed widget-host and extension: each
// walk's command lines, what they print and their exit statuses are kept in full in
// tests/golden/widget-host-activity-*.txt, with the activities' identifiers as $ID1,
// $ID2, ... (dates show as $DATE, so the states carry the clock's effect).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
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
// and gives the transcript with the identifiers named again ($NEW_ID for others).
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
  // Activities started by the lines themselves.
  return std::regex_replace(out, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"), "$$NEW_ID");
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

// A push payload of `aps` members, padded with an alert body to `size` bytes when given.
std::string payload(const std::string& aps, std::size_t size = 0) {
  const std::string head = R"({"aps":{)" + aps;
  if (size == 0) return head + "}}";
  const std::string alert = R"(,"alert":{"title":"t","body":")";
  return head + alert + std::string(size - head.size() - alert.size() - 4, 'b') + "\"}}}";
}

TEST(ActivityLifecycleGolden, PushPayloadsAndEveryMalformedMember) {
  const Host host;
  const std::string state = R"("content-state":)" + kState;
  const std::string start = R"("event":"start","timestamp":1796634000,"attributes-type":"TulWidgetAttributes",)"
                            R"("attributes":{"name":"Practice"},)" +
                            state;
  const std::vector<std::pair<std::string, std::string>> payloads = {
      {"start", payload(start + R"(,"stale-date":1796637600,"relevance-score":2)")},
      {"update", payload(R"("event":"update","timestamp":1796634600,"content-state":{"tempo":70,"beat":2,"note":4,)"
                         R"("isPlaying":false,"isAutomated":true})")},
      {"older", payload(R"("event":"update","timestamp":1796634001,)" + state)},
      {"end", payload(R"("event":"end","timestamp":1796634700,"dismissal-date":1796635000)")},
      {"4096", payload(start, 4096)},
      {"4097", payload(start, 4097)},
      {"not-json", R"({"aps":)"},
      {"array", "[]"},
      {"other-member", R"({"aps":{},"apns":1})"},
      {"aps-not-object", R"({"aps":[]})"},
      {"no-aps", "{}"},
      {"no-event", payload(R"("timestamp":1)")},
      {"bad-event", payload(R"("event":"begin","timestamp":1)")},
      {"no-timestamp", payload(R"("event":"update")")},
      {"timestamp-text", payload(R"("event":"update","timestamp":"now")")},
      {"negative-stale-date", payload(R"("event":"update","timestamp":1,"stale-date":-1,)" + state)},
      {"state-array", payload(R"("event":"update","timestamp":1,"content-state":[])")},
      {"no-state", payload(R"("event":"update","timestamp":1)")},
      {"unknown-member", payload(R"("event":"update","timestamp":1,"sound":"ping",)" + state)},
      {"alert-member", payload(R"("event":"update","timestamp":1,"alert":{"subtitle":"x"},)" + state)},
      {"alert-title", payload(R"("event":"update","timestamp":1,"alert":{"title":1},)" + state)},
      {"relevance-text", payload(R"("event":"update","timestamp":1,"relevance-score":"high",)" + state)},
      {"attributes-on-update", payload(R"("event":"update","timestamp":1,"attributes":{},)" + state)},
      {"dismissal-on-update", payload(R"("event":"update","timestamp":1,"dismissal-date":1,)" + state)},
      {"start-no-attributes", payload(R"("event":"start","timestamp":1,"attributes-type":"T",)" + state)},
      {"start-no-type", payload(R"("event":"start","timestamp":1,"attributes":{"name":"P"},)" + state)},
      {"undecodable", payload(R"("event":"update","timestamp":1796634800,"content-state":{"tempo":1})")},
  };
  std::vector<std::string> lines;
  for (const auto& [name, bytes] : payloads) {
    host.file(name + ".json", bytes);
    const bool starts = name == "start" || name == "4096" || name.starts_with("start-");
    lines.push_back("activity push " + std::string(starts ? "" : "$ID1 ") + "$DIR/" + name +
                    ".json --now 2026-12-07T09:30:00Z");
  }
  lines.insert(lines.begin() + 4, "activity list --now 2026-12-07T09:59:00Z");
  lines.push_back("activity push $DIR/update.json");
  lines.push_back("activity push $ID1 $DIR/start.json");
  expectGolden("widget-host-activity-push.txt", walk(host,
                                                     {"activity push " + host.folder().string() +
                                                      "/start.json "
                                                      "--now 2026-12-07T09:00:00Z"},
                                                     lines));
  // The records go on as the server wrote them: written again, the escape and the
  // spacing would be gone.
  const std::string spaced = R"({ "tempo": 96, "beat":3,"note":4,"isPlaying":true,"isAutomated":false,)"
                             R"("melodyName":"Caf\u00e9 \"" })";
  const std::string attributes = R"({"name" : "Pr\u0061ctice"})";
  host.file("spaced.json", payload(R"("event":"start","timestamp":1796634000,"attributes-type":"TulWidgetAttributes",)"
                                   R"("attributes":)" +
                                   attributes + R"(,"content-state" :)" + spaced));
  const RunResult pushed = host.run({"activity", "push", (host.folder() / "spaced.json").string()});
  ASSERT_EQ(pushed.exitCode, 0) << pushed.err;
  const auto list = nlohmann::json::parse(host.run({"--format", "json", "activity", "list"}).out);
  int found = 0;
  for (const auto& listed : list["activities"]) {
    if (listed["id"] != pushed.out.substr(0, 36)) continue;
    EXPECT_EQ(listed["contentState"], spaced);
    EXPECT_EQ(listed["attributes"], attributes);
    ++found;
  }
  EXPECT_EQ(found, 1);
}

TEST(ActivityLifecycle, TheGalleryHasARowPerStoredActivity) {
  const Host host;
  const RunResult started = host.run({"activity", "start", "--attributes", (host.folder() / "attributes.json").string(),
                                      "--state", (host.folder() / "state.json").string()});
  ASSERT_EQ(started.exitCode, 0) << started.err;
  const std::string id = started.out.substr(0, 36);
  const RunResult gallery = host.run({"gallery", "--output", (host.folder() / "gallery").string()});
  ASSERT_EQ(gallery.exitCode, 0) << gallery.err;
  EXPECT_NE(readFile(host.folder() / "gallery/index.html").find("Activity " + id + " (active)"), std::string::npos);
  for (const char* presentation : {"lock-screen", "expanded", "compact-leading", "compact-trailing", "minimal"}) {
    EXPECT_TRUE(std::filesystem::exists(host.folder() / "gallery" / ("activity-" + id + "-" + presentation + ".png")));
  }
}

TEST(ActivityLifecycle, StalePicturesAreMarkedAndOthersDrawnAsBefore) {
  const Host host;
  const std::string records =
      "--attributes " + host.folder().string() + "/attributes.json --state " + host.folder().string() + "/state.json";
  const RunResult started = host.run(
      split("activity start " + records + " --now 2026-12-07T09:00:00Z --stale-date 2026-12-07T10:00:00Z", ' '));
  ASSERT_EQ(started.exitCode, 0) << started.err;
  const std::string id = started.out.substr(0, 36);
  const auto picture = [&](const std::string& command, const std::string& name) {
    const RunResult drawn = host.run(split(
        "--format png " + command + " --presentation lock-screen --output " + (host.folder() / name).string(), ' '));
    EXPECT_EQ(drawn.exitCode, 0) << drawn.err;
    return readFile(host.folder() / name);
  };
  const std::string plain = picture("activity " + records, "plain.png");
  const std::string fresh = picture("activity show " + id + " --now 2026-12-07T09:59:59Z", "fresh.png");
  const std::string stale = picture("activity show " + id + " --now 2026-12-07T10:00:00Z", "stale.png");
  EXPECT_EQ(fresh, plain);
  EXPECT_NE(stale, fresh);
  EXPECT_EQ(stale.substr(16, 8), fresh.substr(16, 8));  // the same width and height
}

}  // namespace
}  // namespace tul::testing
