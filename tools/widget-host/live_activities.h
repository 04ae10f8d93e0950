// LiveActivities: the activities of the platform's store (activitykit) as the live host
// shows them, kept up to date without reading the store over and over.
//
// Promises:
// - The store is read on the first update(), then only after the store's folder saw a
//   write to the store's files (inotify), once the writes have settled for a tick of
//   the caller's; where no watch can be made it is read at every update().
// - Every other change is the clock's: nextDate() is the first date at which an
//   activity turns stale, is ended by the platform 8 hours after it started or is
//   dismissed, so the caller sets its timer for it instead of reading; between reads,
//   the phases are looked at again only once that date is reached.
// - update() reports each activity whose record or phase differs from the one it last
//   reported (a dismissed one once, or not at all when it was dismissed before it was
//   ever reported), with the reason; an activity gone from the store counts as
//   dismissed. A store that cannot be read keeps what was shown and says why.
// - Not thread-safe: its owner serialises the calls.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/activitykit/activity_rules.h"
#include "platform/activitykit/activity_store.h"

namespace host {

class LiveActivities {
 public:
  struct Change {
    activitykit::ActivityRecord record;  // as it stands at the change (settled)
    activitykit::ActivityPhase phase;
    std::string reason;  // "the activity store changed", "its stale date passed", ...
  };

  explicit LiveActivities(std::filesystem::path store);
  ~LiveActivities();
  LiveActivities(const LiveActivities&) = delete;
  LiveActivities& operator=(const LiveActivities&) = delete;

  std::vector<Change> update(foundation::Date now);
  std::optional<foundation::Date> nextDate() const { return next_; }
  // Why the store could not be read at the last update(); empty when it could.
  const std::string& failure() const { return failure_; }

 private:
  struct Shown {
    activitykit::ActivityRecord record;
    activitykit::ActivityPhase phase;
  };
  bool storeChanged();
  std::optional<std::vector<activitykit::ActivityRecord>> read();

  std::filesystem::path file_;
  int notifier_ = -1;
  bool read_ = false;  // read at least once
  int pending_ = 0;    // calls that saw writes since the last read
  std::optional<activitykit::ActivityStore> store_;
  std::vector<activitykit::ActivityRecord> records_;
  std::map<std::string, Shown> shown_;  // by identifier
  std::optional<foundation::Date> next_;
  std::string failure_;
};

}  // namespace host
