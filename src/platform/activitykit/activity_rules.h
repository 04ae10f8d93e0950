// Activity rules: what an activity is at a given moment and how updates and ends
// change it, as pure functions of the record and the clock's `now`.
//
// Promises: an activity still running 8 hours after it started is ended then (with
// the default dismissal); past its stale date a running activity is stale; an ended
// one is dismissed at once (`immediate`), at its date but no later than 4 hours after
// the end (`after`), or 4 hours after the end (`default`). An update older than the
// content shown, or to an ended activity, is ignored with the reason; an end applies
// whatever its timestamp. Coded records are at most 4,096 bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/activitykit/activity_record.h"

namespace activitykit {

inline constexpr std::size_t kMaxCodedRecordBytes = 4096;
inline constexpr std::chrono::hours kLongestRun{8};
inline constexpr std::chrono::hours kLongestLinger{4};

enum class ActivityPhase { active, stale, ended, dismissed };

std::string_view name(ActivityPhase phase);

// "default", "immediate" or "after:DATE"; none for anything else.
std::optional<DismissalPolicy> parseDismissalPolicy(std::string_view text);
std::string describe(const DismissalPolicy& policy);

// The record as it stands at `now`: ended by the platform when it ran out its 8 hours.
ActivityRecord settled(ActivityRecord record, foundation::Date now);

// When an ended activity leaves the lock screen; none while it runs.
std::optional<foundation::Date> dismissalAt(const ActivityRecord& record);

ActivityPhase phaseAt(const ActivityRecord& record, foundation::Date now);

// The first date after `now` at which the activity's phase changes by the clock alone
// (its stale date, its 8-hour end, its dismissal); none when no such date is left.
std::optional<foundation::Date> nextPhaseChange(const ActivityRecord& record, foundation::Date now);

// New content for an activity: a coded state (optional for an end), its timestamp,
// and a new stale date when given.
struct ContentChange {
  std::optional<std::string> state;
  foundation::Date timestamp;
  std::optional<foundation::Date> staleDate;
};

// Why a change was not applied.
struct Ignored {
  std::string reason;
};

using ChangeResult = std::expected<ActivityRecord, Ignored>;

ChangeResult applyUpdate(const ActivityRecord& record, const ContentChange& change, foundation::Date now);
ChangeResult applyEnd(const ActivityRecord& record, const ContentChange& change, const DismissalPolicy& policy,
                      foundation::Date now);

// A count with its thousands grouped: "4,096".
std::string grouped(std::size_t number);

// When `bytes` is over the limit: "the coded WHAT: N bytes, over the limit of 4,096 bytes".
std::optional<std::string> sizeProblem(std::string_view what, std::size_t bytes);

}  // namespace activitykit
