// The activity store shared by processes: several widget-host processes updating one
// activity at once keep the latest timestamp's content, whatever order they commit
// in; and a writer killed with SIGKILL in the middle of its changes leaves every
// record whole (its state always the one its timestamp was written with).
#include "platform/activitykit/activity_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <thread>

#include "installed_host.h"

namespace tul::testing {
namespace {

using activitykit::ActivityRecord;
using activitykit::ActivityStore;

TEST(ActivityStore, ConcurrentUpdatesKeepTheLatestTimestamp) {
  const Host host;
  const RunResult started =
      host.run({"activity", "start", "--attributes", (host.folder() / "attributes.json").string(), "--state",
                (host.folder() / "state.json").string(), "--now", "2026-12-07T09:00:00Z"});
  ASSERT_EQ(started.exitCode, 0) << started.err;
  const std::string id = started.out.substr(0, 36);
  constexpr int kWriters = 8;
  std::vector<std::thread> writers;
  for (int minute = kWriters; minute >= 1; --minute) {  // the latest starts first
    const auto state = host.file(
        "state-" + std::to_string(minute) + ".json",
        R"({"tempo":)" + std::to_string(minute) + R"(,"beat":4,"note":4,"isPlaying":true,"isAutomated":false})");
    writers.emplace_back([&host, id, state, minute] {
      const RunResult updated =
          host.run({"activity", "update", id, "--state", state.string(), "--timestamp",
                    "2026-12-07T09:0" + std::to_string(minute) + ":00Z", "--now", "2026-12-07T09:10:00Z"});
      EXPECT_EQ(updated.exitCode, 0) << updated.err;
    });
  }
  for (std::thread& writer : writers) writer.join();
  const RunResult list = host.run({"activity", "list", "--now", "2026-12-07T09:10:00Z"});
  EXPECT_NE(list.out.find("contentTimestamp: 2026-12-07T09:08:00.000Z"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(R"("tempo":8,)"), std::string::npos) << list.out;
}

TEST(ActivityStore, ProcessesChangingOneActivityAtOnceNeverFailAndKeepTheLatest) {
  const TempFolder folder("activity-store");
  const auto file = folder.path() / "activities.sqlite";
  ActivityRecord first;
  first.id = foundation::UUID::random();
  ASSERT_TRUE(ActivityStore::open(file)->insert(first));
  constexpr int kWriters = 4;
  constexpr int kUpdates = 60;
  std::vector<pid_t> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    if (const pid_t child = fork(); child != 0) {
      writers.push_back(child);
      continue;
    }
    auto store = ActivityStore::open(file);
    int failures = store ? 0 : 1;
    for (int update = 0; store && update < kUpdates; ++update) {
      // Timestamps interleave across the writers, so later ones commit before earlier.
      const activitykit::ContentChange change{
          std::to_string(update * kWriters + writer),
          foundation::Date(first.startedAt.timePoint() + std::chrono::seconds(update * kWriters + writer)),
          std::nullopt};
      failures += store->modify(first.id,
                                [&](const ActivityRecord& record) {
                                  return activitykit::applyUpdate(record, change, first.startedAt);
                                })
                      ? 0
                      : 1;
    }
    _exit(failures == 0 ? 0 : 1);
  }
  for (const pid_t writer : writers) {
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a change failed";
  }
  EXPECT_EQ(ActivityStore::open(file)->find(first.id)->state, std::to_string(kUpdates * kWriters - 1));
}

// The state a writer stores with the content timestamp `seconds` past the start.
std::string stateAt(std::int64_t seconds) {
  return R"({"n":)" + std::to_string(seconds) + R"(,"pad":")" + std::string(3000, 'p') + "\"}";
}

TEST(ActivityStore, AWriterKilledMidUpdateLeavesWholeRecords) {
  const TempFolder folder("activity-store");
  const auto file = folder.path() / "activities.sqlite";
  ActivityRecord first;
  first.id = foundation::UUID::random();
  first.startedAt = first.contentTimestamp = foundation::Date::now();
  first.state = stateAt(0);
  ASSERT_TRUE(ActivityStore::open(file)->insert(first));
  std::mt19937 random(20261207);
  for (int round = 0; round < 12; ++round) {
    const pid_t writer = fork();
    if (writer == 0) {
      auto store = ActivityStore::open(file);
      for (;;) {
        (void)store->modify(first.id, [&](const ActivityRecord& record) -> activitykit::ChangeResult {
          ActivityRecord next = record;
          next.contentTimestamp = foundation::Date(record.contentTimestamp.timePoint() + std::chrono::seconds(1));
          next.state = stateAt(std::chrono::duration_cast<std::chrono::seconds>(next.contentTimestamp.timePoint() -
                                                                                first.startedAt.timePoint())
                                   .count());
          return next;
        });
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2 + random() % 30));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    auto record = ActivityStore::open(file)->find(first.id);
    ASSERT_TRUE(record) << record.error().message;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(record->contentTimestamp.timePoint() -
                                                                          first.startedAt.timePoint());
    EXPECT_EQ(record->state, stateAt(seconds.count())) << "round " << round;
  }
}

}  // namespace
}  // namespace tul::testing
