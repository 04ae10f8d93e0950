// Comparison: one benchmark figure measured beside its baseline in the same run, and
// the budget it is held to. The report prints every comparison as figure, baseline,
// their ratio and whether the budget is met.
//
// Budgets:
//   timesFaster(k)   the baseline takes at least k times as long as the figure
//   withinTimes(k)   the figure is at most k times the baseline (a floor)
//   below(limit)     the figure is under an absolute limit (the baseline is the limit)
//   noGrowth(slack)  the figure (a later size) exceeds the baseline (an earlier size)
//                    by at most `slack`, in the figure's unit
//   none             information only
#pragma once

#include <string>

namespace bench {

enum class Unit { nanoseconds, kibibytes, perSecond };

struct Budget {
  enum class Kind { none, timesFaster, withinTimes, below, noGrowth };
  Kind kind = Kind::none;
  double limit = 0;

  static Budget timesFaster(double k) { return {Kind::timesFaster, k}; }
  static Budget withinTimes(double k) { return {Kind::withinTimes, k}; }
  static Budget below(double limit) { return {Kind::below, limit}; }
  static Budget noGrowth(double slack) { return {Kind::noGrowth, slack}; }
};

struct Comparison {
  std::string figure;
  double value = 0;
  std::string baseline;
  double baselineValue = 0;
  Unit unit = Unit::nanoseconds;
  Budget budget;
};

enum class Verdict { met, missed, none };

// The figure as a multiple of its baseline (for timesFaster: the baseline as a multiple
// of the figure, so that larger is better there too). Zero when a side is not positive.
double ratio(const Comparison& comparison);

Verdict verdict(const Comparison& comparison);

// "7.31x faster", "1.62x", "0.94x" as fits the budget's kind.
std::string ratioText(const Comparison& comparison);

// The budget in words: ">= 5x faster", "<= 3x the floor", "< 7.63 MiB", "<= +64 KiB".
std::string budgetText(const Comparison& comparison);

// "met", "MISSED" or "" (no budget).
std::string verdictText(Verdict verdict);

// A value in its unit with three significant digits: "612 ns", "4.21 µs", "3.10 ms",
// "7.42 MiB", "980 KiB", "24,400/s".
std::string formatValue(double value, Unit unit);

}  // namespace bench
