// Report: the comparisons one bench run makes, as bench_report gathers them from the
// run's result files, and the readers those files share.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "budget.h"

namespace bench {

using Json = nlohmann::json;

struct Report {
  std::vector<Comparison> comparisons;
  std::vector<std::string> notRun;
  // How far a comparison's ratio moved between the rounds it was measured in, by its
  // index in `comparisons`.
  std::map<std::size_t, std::string> spreads;

  // The last comparison's spread, when there is one.
  void spreadOfLast(std::string spread) {
    if (!spread.empty() && !comparisons.empty()) spreads[comparisons.size() - 1] = std::move(spread);
  }
  std::string spreadOf(std::size_t index) const {
    const auto found = spreads.find(index);
    return found == spreads.end() ? std::string() : found->second;
  }
};

// The file as JSON; none when it is missing or not JSON (said on standard error).
inline std::optional<Json> readJson(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  Json json = Json::parse(in, nullptr, false);
  if (json.is_discarded()) {
    std::fprintf(stderr, "bench_report: %s is not JSON; ignored\n", file.c_str());
    return std::nullopt;
  }
  return json;
}

}  // namespace bench
