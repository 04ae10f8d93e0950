// ActivityRecord: one Live Activity as the platform keeps it: its identifier, its
// coded attributes and latest coded state (the bytes the host app handed over, which
// only the extension decodes), and the dates that decide what the lock screen shows.
// A plain value; the rules that change it are in activity_rules.h.
#pragma once

#include <optional>
#include <string>

#include "platform/foundation/date.h"
#include "platform/foundation/uuid.h"

namespace activitykit {

// When an ended activity leaves the lock screen.
enum class DismissalKind { byDefault, immediate, after };

struct DismissalPolicy {
  DismissalKind kind = DismissalKind::byDefault;
  std::optional<foundation::Date> date;  // for `after` only

  friend bool operator==(const DismissalPolicy&, const DismissalPolicy&) = default;
};

struct ActivityRecord {
  foundation::UUID id = foundation::UUID::fromBytes({});
  std::string attributesType;
  std::string attributes;  // the coded attributes, as handed over
  std::string state;       // the latest coded state
  foundation::Date startedAt;
  foundation::Date contentTimestamp;  // the timestamp of the content shown
  std::optional<foundation::Date> staleDate;
  std::optional<double> relevanceScore;
  std::optional<foundation::Date> endedAt;
  DismissalPolicy dismissal;

  friend bool operator==(const ActivityRecord&, const ActivityRecord&) = default;
};

}  // namespace activitykit
