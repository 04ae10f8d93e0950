#include "budget.h"

#include <cmath>
#include <cstdio>

namespace bench {

namespace {

// Three significant digits, no exponent.
std::string significant(double value) {
  char text[32];
  const double magnitude = std::abs(value);
  const int decimals = magnitude >= 100 ? 0 : magnitude >= 10 ? 1 : 2;
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string withThousands(double value) {
  const auto whole = static_cast<long long>(std::llround(value));
  const std::string digits = std::to_string(whole < 0 ? -whole : whole);
  std::string text(whole < 0 ? 1 : 0, '-');
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
    text.push_back(digits[i]);
  }
  return text;
}

}  // namespace

double ratio(const Comparison& c) {
  if (c.value <= 0 || c.baselineValue <= 0) return 0;
  return c.budget.kind == Budget::Kind::timesFaster ? c.baselineValue / c.value : c.value / c.baselineValue;
}

Verdict verdict(const Comparison& c) {
  switch (c.budget.kind) {
    case Budget::Kind::none: return Verdict::none;
    case Budget::Kind::timesFaster:
    case Budget::Kind::withinTimes: {
      const double r = ratio(c);
      if (r == 0) return Verdict::missed;  // a figure that was not measured meets nothing
      return (c.budget.kind == Budget::Kind::timesFaster ? r >= c.budget.limit : r <= c.budget.limit) ? Verdict::met
                                                                                                      : Verdict::missed;
    }
    case Budget::Kind::below: return c.value > 0 && c.value < c.budget.limit ? Verdict::met : Verdict::missed;
    case Budget::Kind::noGrowth:
      return c.value > 0 && c.baselineValue > 0 && c.value <= c.baselineValue + c.budget.limit ? Verdict::met
                                                                                               : Verdict::missed;
  }
  return Verdict::none;
}

std::string ratioText(const Comparison& c) {
  const double r = ratio(c);
  if (r == 0) return "-";
  std::string text = significant(r) + "x";
  if (c.budget.kind == Budget::Kind::timesFaster) text += " faster";
  return text;
}

std::string budgetText(const Comparison& c) {
  switch (c.budget.kind) {
    case Budget::Kind::none: return "";
    case Budget::Kind::timesFaster: return ">= " + significant(c.budget.limit) + "x faster";
    case Budget::Kind::withinTimes: return "<= " + significant(c.budget.limit) + "x";
    case Budget::Kind::below: return "< " + formatValue(c.budget.limit, c.unit);
    case Budget::Kind::noGrowth: return "<= +" + formatValue(c.budget.limit, c.unit);
  }
  return "";
}

std::string verdictText(Verdict v) {
  switch (v) {
    case Verdict::met: return "met";
    case Verdict::missed: return "MISSED";
    case Verdict::none: return "";
  }
  return "";
}

std::string formatValue(double value, Unit unit) {
  switch (unit) {
    case Unit::nanoseconds:
      if (std::abs(value) >= 1e6) return significant(value / 1e6) + " ms";
      if (std::abs(value) >= 1e3) return significant(value / 1e3) + " µs";
      return significant(value) + " ns";
    case Unit::kibibytes:
      if (std::abs(value) >= 1024) return significant(value / 1024) + " MiB";
      return significant(value) + " KiB";
    case Unit::perSecond: return withThousands(value) + "/s";
  }
  return significant(value);
}

}  // namespace bench
