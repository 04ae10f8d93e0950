// ActivityStore: the platform's store of Live Activities, one SQLite file shared by
// every process that starts, updates or shows activities.
//
// The file is "activities.sqlite" beside the preferences folder (its parent folder,
// found as preferences_location.h finds the preferences), e.g.
// ~/.local/share/widget-platform/activities.sqlite.
//
// Promises: every change is one transaction (BEGIN IMMEDIATE), so it is applied whole
// or not at all, also when the process is killed in the middle; a change reads the
// record and decides on it inside that transaction, so of two concurrent updates the
// one with the later timestamp is kept whatever order they commit in.
#pragma once

#include <sqlite3.h>

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/activitykit/activity_rules.h"

namespace activitykit {

struct StoreError {
  enum class Kind { notFound, cannotOpen, failed } kind;
  std::string message;  // names the file or the activity
};

class ActivityStore {
 public:
  // The store's file for the environment as it is now.
  static std::filesystem::path defaultPath();

  // Opens (creating when missing) the store at `file`.
  static std::expected<ActivityStore, StoreError> open(const std::filesystem::path& file);

  std::expected<void, StoreError> insert(const ActivityRecord& record);
  std::expected<ActivityRecord, StoreError> find(const foundation::UUID& id);
  // Every activity, the earliest started first.
  std::expected<std::vector<ActivityRecord>, StoreError> all();

  // In one transaction: reads the activity, asks `change` what it becomes, and writes
  // that when it applies.
  std::expected<ChangeResult, StoreError> modify(const foundation::UUID& id,
                                                 const std::function<ChangeResult(const ActivityRecord&)>& change);

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  ActivityStore(std::unique_ptr<sqlite3, Closer> db, std::filesystem::path file)
      : db_(std::move(db)), file_(std::move(file)) {}
  StoreError failure(const std::string& what) const;
  std::expected<void, StoreError> write(const ActivityRecord& record, bool replace);

  std::unique_ptr<sqlite3, Closer> db_;
  std::filesystem::path file_;
};

}  // namespace activitykit
