#include "hyperfine_rounds.h"

#include <algorithm>
#include <cstdio>

#include "sample_summary.h"

namespace bench {
namespace {

const Json* resultOf(const Json& round, const std::string& command) {
  const auto results = round.find("results");
  if (results == round.end() || !results->is_array()) return nullptr;
  for (const auto& result : *results) {
    if (result.is_object() && result.value("command", "") == command) return &result;
  }
  return nullptr;
}

std::vector<double> timesOf(const Json& result) {
  std::vector<double> times;
  const auto all = result.find("times");
  if (all == result.end() || !all->is_array()) return times;
  for (const auto& t : *all) {
    if (t.is_number()) times.push_back(t.get<double>());
  }
  return times;
}

}  // namespace

std::optional<HyperfineRounds> HyperfineRounds::read(const std::filesystem::path& results, const std::string& stem) {
  std::vector<Json> rounds;
  if (auto single = readJson(results / (stem + ".json"))) rounds.push_back(std::move(*single));
  for (int round = 1;; ++round) {
    const auto file = results / (stem + ".round" + std::to_string(round) + ".json");
    if (!std::filesystem::exists(file)) break;
    if (auto json = readJson(file)) rounds.push_back(std::move(*json));
  }
  if (rounds.empty()) return std::nullopt;
  return HyperfineRounds(std::move(rounds));
}

double HyperfineRounds::median(const std::string& command) const {
  std::vector<double> times;
  for (const auto& round : rounds_) {
    if (const Json* result = resultOf(round, command)) {
      const auto some = timesOf(*result);
      times.insert(times.end(), some.begin(), some.end());
    }
  }
  return bench::median(std::move(times)) * 1e9;
}

double HyperfineRounds::mean(const std::string& command, const char* field) const {
  double weighted = 0;
  double runs = 0;
  for (const auto& round : rounds_) {
    if (const Json* result = resultOf(round, command)) {
      const auto n = static_cast<double>(timesOf(*result).size());
      weighted += result->value(field, 0.0) * n;
      runs += n;
    }
  }
  return runs > 0 ? weighted / runs * 1e9 : 0;
}

namespace {

// The summed medians of `commands` in one round, in seconds; zero when one is missing.
double summedMedians(const Json& round, const std::vector<std::string>& commands) {
  double sum = 0;
  for (const auto& command : commands) {
    const Json* result = resultOf(round, command);
    if (result == nullptr) return 0;
    sum += bench::median(timesOf(*result));
  }
  return sum;
}

std::string rangeText(const std::vector<double>& ratios) {
  if (ratios.size() < 2) return "";
  const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
  char text[64];
  std::snprintf(text, sizeof text, "%.2fx-%.2fx over %zu rounds", *low, *high, ratios.size());
  return text;
}

}  // namespace

std::string HyperfineRounds::ratioSpread(const std::vector<std::string>& figure,
                                         const std::vector<std::string>& floor) const {
  std::vector<double> ratios;
  for (const auto& round : rounds_) {
    const double top = summedMedians(round, figure);
    const double bottom = summedMedians(round, floor);
    if (top <= 0 || bottom <= 0) return "";
    ratios.push_back(top / bottom);
  }
  return rangeText(ratios);
}

std::string HyperfineRounds::ratioSpread(const std::vector<std::string>& figure, double floorNs) const {
  if (floorNs <= 0) return "";
  std::vector<double> ratios;
  for (const auto& round : rounds_) {
    const double top = summedMedians(round, figure);
    if (top <= 0) return "";
    ratios.push_back(top * 1e9 / floorNs);
  }
  return rangeText(ratios);
}

}  // namespace bench
