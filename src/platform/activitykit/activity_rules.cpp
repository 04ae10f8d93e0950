#include "platform/activitykit/activity_rules.h"

#include <algorithm>

namespace activitykit {

using foundation::Date;

namespace {

// Why a change to `record` at `now` cannot apply, if it cannot.
std::optional<Ignored> closed(const ActivityRecord& record, Date now) {
  switch (phaseAt(record, now)) {
    case ActivityPhase::dismissed: return Ignored{"the activity was dismissed"};
    case ActivityPhase::ended:
      return Ignored{record.endedAt ? "the activity has ended"
                                    : "the activity was ended by the platform 8 hours after it started"};
    default: return std::nullopt;
  }
}

}  // namespace

std::string grouped(std::size_t number) {
  const std::string digits = std::to_string(number);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string_view name(ActivityPhase phase) {
  switch (phase) {
    case ActivityPhase::active: return "active";
    case ActivityPhase::stale: return "stale";
    case ActivityPhase::ended: return "ended";
    case ActivityPhase::dismissed: return "dismissed";
  }
  return "?";
}

std::optional<DismissalPolicy> parseDismissalPolicy(std::string_view text) {
  if (text == "default") return DismissalPolicy{};
  if (text == "immediate") return DismissalPolicy{DismissalKind::immediate, std::nullopt};
  if (!text.starts_with("after:")) return std::nullopt;
  auto date = Date::parseISO8601(text.substr(6));
  if (!date) return std::nullopt;
  return DismissalPolicy{DismissalKind::after, date};
}

std::string describe(const DismissalPolicy& policy) {
  switch (policy.kind) {
    case DismissalKind::byDefault: return "default";
    case DismissalKind::immediate: return "immediate";
    case DismissalKind::after: return "after:" + (policy.date ? policy.date->iso8601() : std::string("?"));
  }
  return "?";
}

ActivityRecord settled(ActivityRecord record, Date now) {
  const Date deadline(record.startedAt.timePoint() + kLongestRun);
  if (!record.endedAt && now >= deadline) {
    record.endedAt = deadline;
    record.dismissal = DismissalPolicy{};
  }
  return record;
}

std::optional<Date> dismissalAt(const ActivityRecord& record) {
  if (!record.endedAt) return std::nullopt;
  const Date ended = *record.endedAt;
  const Date latest(ended.timePoint() + kLongestLinger);
  switch (record.dismissal.kind) {
    case DismissalKind::immediate: return ended;
    case DismissalKind::after: return std::clamp(record.dismissal.date.value_or(latest), ended, latest);
    case DismissalKind::byDefault: return latest;
  }
  return latest;
}

ActivityPhase phaseAt(const ActivityRecord& stored, Date now) {
  const ActivityRecord record = settled(stored, now);
  if (record.endedAt) return now >= *dismissalAt(record) ? ActivityPhase::dismissed : ActivityPhase::ended;
  if (record.staleDate && now >= *record.staleDate) return ActivityPhase::stale;
  return ActivityPhase::active;
}

std::optional<Date> nextPhaseChange(const ActivityRecord& stored, Date now) {
  const ActivityRecord record = settled(stored, now);
  std::optional<Date> next;
  const auto consider = [&](std::optional<Date> date) {
    if (date && *date > now && (!next || *date < *next)) next = date;
  };
  if (record.endedAt) {
    consider(dismissalAt(record));
  } else {
    consider(record.staleDate);
    consider(Date(record.startedAt.timePoint() + kLongestRun));
  }
  return next;
}

ChangeResult applyUpdate(const ActivityRecord& record, const ContentChange& change, Date now) {
  if (auto refused = closed(record, now)) return std::unexpected(*refused);
  if (change.timestamp < record.contentTimestamp) {
    return std::unexpected(Ignored{"its timestamp " + change.timestamp.iso8601() +
                                   " is older than that of the content shown, " + record.contentTimestamp.iso8601()});
  }
  ActivityRecord updated = record;
  if (change.state) updated.state = *change.state;
  updated.contentTimestamp = change.timestamp;
  if (change.staleDate) updated.staleDate = change.staleDate;
  return updated;
}

ChangeResult applyEnd(const ActivityRecord& record, const ContentChange& change, const DismissalPolicy& policy,
                      Date now) {
  if (auto refused = closed(record, now)) return std::unexpected(*refused);
  ActivityRecord ended = record;
  if (change.state) ended.state = *change.state;
  ended.contentTimestamp = std::max(record.contentTimestamp, change.timestamp);
  if (change.staleDate) ended.staleDate = change.staleDate;
  ended.endedAt = now;
  ended.dismissal = policy;
  return ended;
}

std::optional<std::string> sizeProblem(std::string_view what, std::size_t bytes) {
  if (bytes <= kMaxCodedRecordBytes) return std::nullopt;
  return "the coded " + std::string(what) + ": " + grouped(bytes) + " bytes, over the limit of " +
         grouped(kMaxCodedRecordBytes) + " bytes";
}

}  // namespace activitykit
