// Report: the comparisons one bench run makes, as bench_report gathers them from the
// run's result files, and the readers those files share.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
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

// A number of hyperfine's export for the command named `name` (--command-name): its
// "median", "user" or "system", in nanoseconds; zero when the run has no such command.
inline double hyperfineSeconds(const Json& hyperfine, const std::string& name, const char* field = "median") {
  for (const auto& result : hyperfine.value("results", Json::array())) {
    if (result.value("command", "") == name) return result.value(field, 0.0) * 1e9;
  }
  return 0;
}

}  // namespace bench
