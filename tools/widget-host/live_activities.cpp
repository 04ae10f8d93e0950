#include "live_activities.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace host {

namespace fs = std::filesystem;
using activitykit::ActivityPhase;
using activitykit::ActivityRecord;
using foundation::Date;

namespace {

// Writes to the database and its write-ahead log, and the file made, removed or
// replaced. (Its shared-memory index is written through a mapping, which inotify does
// not see and which changes nothing without a write to the log.)
constexpr int kLongestSettling = 4;  // calls

constexpr std::uint32_t kStoreEvents = IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

// Why a phase was reached when the record itself did not change: the clock's doing.
std::string clockReason(ActivityPhase phase) {
  switch (phase) {
    case ActivityPhase::stale: return "its stale date passed";
    case ActivityPhase::ended: return "the platform ended it 8 hours after it started";
    case ActivityPhase::dismissed: return "its dismissal date passed";
    case ActivityPhase::active: return "the clock";
  }
  return "the clock";
}

}  // namespace

LiveActivities::LiveActivities(fs::path store) : file_(std::move(store)) {
  std::error_code ignored;
  fs::create_directories(file_.parent_path(), ignored);
  notifier_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (notifier_ >= 0 && inotify_add_watch(notifier_, file_.parent_path().c_str(), kStoreEvents | IN_ONLYDIR) < 0) {
    ::close(std::exchange(notifier_, -1));
  }
}

LiveActivities::~LiveActivities() {
  if (notifier_ >= 0) ::close(notifier_);
}

// Whether the store's files were written since the last call (or no watch tells).
bool LiveActivities::storeChanged() {
  if (notifier_ < 0) return true;
  bool changed = false;
  alignas(inotify_event) std::array<char, 4096> buffer;
  for (;;) {
    const ssize_t got = ::read(notifier_, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0 && errno == EAGAIN) return changed;
      ::close(std::exchange(notifier_, -1));  // the watch is gone: read every time from now on
      return true;
    }
    for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      const std::string_view name =
          event.len == 0 ? std::string_view() : std::string_view(buffer.data() + at + sizeof event);
      const std::string stored = file_.filename().string();
      if ((event.mask & IN_Q_OVERFLOW) != 0 || name == stored || name == stored + "-wal") changed = true;
      // A file made, removed or moved in its place is another database: open it anew.
      if (name == stored && (event.mask & IN_MODIFY) == 0) store_.reset();
      at += sizeof event + event.len;
    }
  }
}

std::optional<std::vector<ActivityRecord>> LiveActivities::read() {
  std::error_code error;
  if (!fs::exists(file_, error)) {
    store_.reset();
    return std::vector<ActivityRecord>{};
  }
  if (!store_) {
    auto opened = activitykit::ActivityStore::open(file_);
    if (!opened) {
      failure_ = opened.error().message;
      return std::nullopt;
    }
    store_.emplace(std::move(*opened));
  }
  auto records = store_->all();
  if (!records) {
    failure_ = records.error().message;
    store_.reset();
    return std::nullopt;
  }
  return std::move(*records);
}

std::vector<LiveActivities::Change> LiveActivities::update(Date now) {
  // Writes are read once they stop for a call, so that a burst of them (a
  // transaction's pages, a checkpoint) is read once; a steady stream of writes is read
  // every few calls all the same.
  const bool written = storeChanged();
  if (written) ++pending_;
  if (!read_ || notifier_ < 0 || (pending_ > 0 && (!written || pending_ > kLongestSettling))) {
    if (auto records = read()) {
      records_ = std::move(*records);
      failure_.clear();
    }
    read_ = true;
    pending_ = 0;
  } else if (!next_ || now < *next_) {
    return {};  // nothing read, and no date reached: nothing can have changed
  }

  std::vector<Change> changes;
  std::map<std::string, Shown> shown;
  next_.reset();
  for (const ActivityRecord& stored : records_) {
    const ActivityRecord record = activitykit::settled(stored, now);
    const ActivityPhase phase = activitykit::phaseAt(record, now);
    const std::string id = record.id.uuidString();
    const auto before = shown_.find(id);
    if (before == shown_.end()) {
      if (phase != ActivityPhase::dismissed) changes.push_back({record, phase, "the activity store changed"});
    } else if (before->second.record != record) {
      changes.push_back({record, phase, "the activity store changed"});
    } else if (before->second.phase != phase) {
      changes.push_back({record, phase, clockReason(phase)});
    }
    if (const auto date = activitykit::nextPhaseChange(record, now); date && (!next_ || *date < *next_)) next_ = date;
    shown.emplace(id, Shown{record, phase});
  }
  for (const auto& [id, was] : shown_) {
    if (!shown.contains(id) && was.phase != ActivityPhase::dismissed) {
      changes.push_back({was.record, ActivityPhase::dismissed, "it is no longer in the activity store"});
    }
  }
  shown_ = std::move(shown);
  return changes;
}

}  // namespace host
