// Timeline: what a timeline provider hands the widget host: entries in date order and
// the policy that says when the host should ask for the next timeline.
#pragma once

#include <concepts>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/date.h"

namespace widgetkit {

// One entry of a timeline: a value with the date at which the host shows it.
// `relevance` is the platform's default (none) unless an entry defines its own.
template <typename Entry>
concept TimelineEntry = std::copy_constructible<Entry> && requires(const Entry& entry) {
  { entry.date } -> std::convertible_to<foundation::Date>;
};

// When the host asks for a new timeline. With `never` it asks only when another
// party reloads the widget's timelines.
class TimelineReloadPolicy {
 public:
  enum class Kind { atEnd, never, after };

  static TimelineReloadPolicy atEnd() { return TimelineReloadPolicy(Kind::atEnd, std::nullopt); }
  static TimelineReloadPolicy never() { return TimelineReloadPolicy(Kind::never, std::nullopt); }
  static TimelineReloadPolicy after(foundation::Date date) { return TimelineReloadPolicy(Kind::after, date); }

  Kind kind() const { return kind_; }
  const std::optional<foundation::Date>& date() const { return date_; }

  // "atEnd", "never" or "after".
  std::string_view name() const;

  friend bool operator==(const TimelineReloadPolicy&, const TimelineReloadPolicy&) = default;

 private:
  TimelineReloadPolicy(Kind kind, std::optional<foundation::Date> date) : kind_(kind), date_(date) {}
  Kind kind_;
  std::optional<foundation::Date> date_;
};

template <TimelineEntry Entry>
struct Timeline {
  std::vector<Entry> entries;
  TimelineReloadPolicy policy;

  // The platform's `Timeline(entries:policy:)`.
  Timeline(std::vector<Entry> entriesIn, TimelineReloadPolicy policyIn)
      : entries(std::move(entriesIn)), policy(policyIn) {}
};

}  // namespace widgetkit
