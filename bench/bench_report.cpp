// bench_report: reads the result files of one bench run and prints every figure beside
// its baseline, their ratio and whether its budget is met; then the view trees' time
// and heap use. Files that are missing are reported as not run.
//
//   bench_report RESULTS_DIR [--markdown] [--strict]
//
// RESULTS_DIR holds preset.json and view_trees.json (Google Benchmark's JSON output),
// warm.json, cold.json, memory.json and memory_ordinary.json (protocol_driver), and
// optionally cold_widget_host.round1.json, ... (hyperfine's exports of its rounds,
// commands named "widget-host timeline", "widget-host idle", "extension idle" and
// "idle_pair"), which then replace cold.json for the cold start's budget. With --strict the exit status is 1
// when a budget is missed.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "budget.h"
#include "hyperfine_rounds.h"
#include "picture_figures.h"
#include "report.h"

namespace {

namespace fs = std::filesystem;
using bench::Budget;
using bench::Comparison;
using bench::HyperfineRounds;
using bench::Json;
using bench::readJson;
using bench::Report;
using bench::Unit;

constexpr double kPeakResidentBudgetKiB = 6 * 1024;            // 6 MiB, with lines near the limit
constexpr double kPeakOrdinaryResidentBudgetKiB = 4.5 * 1024;  // 4.5 MiB, without them
constexpr double kGrowthSlackKiB = 64;                         // 16 pages of noise between two samples

double toNanoseconds(double value, const std::string& unit) {
  if (unit == "us") return value * 1e3;
  if (unit == "ms") return value * 1e6;
  if (unit == "s") return value * 1e9;
  return value;
}

// One benchmark of a Google Benchmark run: its fastest repetition, in CPU time. Other
// work on the machine only ever adds time, so the least disturbed repetition is the
// best estimate of each contender, and ratios of two minima drift least between runs.
struct BenchmarkRun {
  double nanoseconds = 0;
  std::map<std::string, double> counters;
};

std::map<std::string, BenchmarkRun> readGoogleBenchmark(const Json& json) {
  static const std::set<std::string> kFields = {"name",
                                                "run_name",
                                                "run_type",
                                                "aggregate_name",
                                                "aggregate_unit",
                                                "family_index",
                                                "per_family_instance_index",
                                                "repetitions",
                                                "repetition_index",
                                                "threads",
                                                "iterations",
                                                "real_time",
                                                "cpu_time",
                                                "time_unit",
                                                "error_occurred",
                                                "error_message"};
  std::map<std::string, BenchmarkRun> runs;
  for (const auto& entry : json.value("benchmarks", Json::array())) {
    if (entry.value("run_type", "iteration") != "iteration" || entry.value("error_occurred", false)) continue;
    const std::string name = entry.value("run_name", entry.value("name", ""));
    const double nanoseconds = toNanoseconds(entry.value("cpu_time", 0.0), entry.value("time_unit", "ns"));
    const auto found = runs.find(name);
    if (found != runs.end() && found->second.nanoseconds <= nanoseconds) continue;
    BenchmarkRun run;
    run.nanoseconds = nanoseconds;
    for (const auto& [key, value] : entry.items()) {
      if (!kFields.contains(key) && value.is_number()) run.counters[key] = value.get<double>();
    }
    runs[name] = std::move(run);
  }
  return runs;
}

double nsOf(const std::map<std::string, BenchmarkRun>& runs, const std::string& name) {
  const auto found = runs.find(name);
  return found == runs.end() ? 0 : found->second.nanoseconds;
}

double medianOf(const Json& json, const char* side) { return json.value(side, Json::object()).value("median_ns", 0.0); }

void addPreset(Report& report, const std::optional<Json>& json) {
  if (!json) {
    report.notRun.push_back("preset.json (decode, loadShared)");
    return;
  }
  const auto runs = readGoogleBenchmark(*json);
  const double decode = nsOf(runs, "decode/JSONDecoder");
  report.comparisons.push_back({"decode preset JSON (JSONDecoder)", decode, "nlohmann::json + same member rules",
                                nsOf(runs, "decode/nlohmann_same_rules"), Unit::nanoseconds, Budget::timesFaster(5)});
  report.comparisons.push_back({"decode preset JSON (JSONDecoder)", decode, "simdjson DOM parse only (floor)",
                                nsOf(runs, "decode/simdjson_parse_floor"), Unit::nanoseconds, Budget::withinTimes(2)});
  report.comparisons.push_back({"  for reference",
                                nsOf(runs, "decode/nlohmann_same_rules"),
                                "nlohmann::json parse only",
                                nsOf(runs, "decode/nlohmann_parse_only"),
                                Unit::nanoseconds,
                                {}});
  report.comparisons.push_back({"loadShared(), valid preset stored", nsOf(runs, "load/loadShared"),
                                "prepared SELECT value ... WHERE key=? (floor)",
                                nsOf(runs, "load/prepared_select_floor"), Unit::nanoseconds, Budget::withinTimes(3)});
}

void addWarm(Report& report, const std::optional<Json>& json) {
  if (!json) {
    report.notRun.push_back("warm.json (timeline on a warm extension)");
    return;
  }
  const auto answerBytes = json->value("answer_bytes", 0);
  report.comparisons.push_back({"timeline request, warm extension", json->value("extension_best_round_median_ns", 0.0),
                                "echo of a " + std::to_string(answerBytes) + "-byte line (floor)",
                                json->value("floor_best_round_median_ns", 0.0), Unit::nanoseconds,
                                Budget::withinTimes(2)});
  report.comparisons.push_back({"  requests per second, one at a time",
                                json->value("extension_requests_per_second", 0.0),
                                "echo (floor)",
                                json->value("floor_requests_per_second", 0.0),
                                Unit::perSecond,
                                {}});
  report.comparisons.push_back(
      {"  processor time per request, all rounds", json->value("extension_cpu_ns_per_request", 0.0), "echo (floor)",
       json->value("floor_cpu_ns_per_request", 0.0), Unit::nanoseconds, Budget::withinTimes(3)});
}

void addCold(Report& report, const std::optional<Json>& driver, const std::optional<HyperfineRounds>& hyperfine) {
  if (hyperfine) {
    // The floor is the same two programs started with nothing to do: widget-host
    // printing its help, the extension with its input closed at once. idle_pair, a
    // bare process starting a bare process, is a reference below both.
    const double timeline = hyperfine->median("widget-host timeline");
    const double hostIdle = hyperfine->median("widget-host idle");
    const double extensionIdle = hyperfine->median("extension idle");
    const double pair = hyperfine->median("idle_pair");
    const bool floorMeasured = hostIdle > 0 && extensionIdle > 0;
    report.comparisons.push_back(
        {"cold start: widget-host timeline", timeline, "host --help + extension, input closed (floor)",
         floorMeasured ? hostIdle + extensionIdle : 0, Unit::nanoseconds, Budget::withinTimes(1.5)});
    report.spreadOfLast(hyperfine->ratioSpread({"widget-host timeline"}, {"widget-host idle", "extension idle"}));
    report.comparisons.push_back(
        {"  widget-host --help", hostIdle, "bare process pair (idle_pair)", pair, Unit::nanoseconds, {}});
    report.comparisons.push_back({"  extension, input closed at once",
                                  extensionIdle,
                                  "bare process pair (idle_pair)",
                                  pair,
                                  Unit::nanoseconds,
                                  {}});
    report.comparisons.push_back(
        {"  widget-host timeline", timeline, "bare process pair (idle_pair)", pair, Unit::nanoseconds, {}});
  }
  if (!driver) {
    report.notRun.push_back("cold.json (cold start)");
    return;
  }
  // Without widget-host, this row is the cold start's budget figure.
  const bool main = !hyperfine;
  report.comparisons.push_back(
      {main ? "cold start: extension, one timeline, exit" : "  extension alone, one timeline, exit",
       medianOf(*driver, "extension"), "idle_pair: two idle processes (floor)", medianOf(*driver, "floor"),
       Unit::nanoseconds, main ? Budget::withinTimes(1.5) : Budget{}});
  report.comparisons.push_back({"  extension alone, start to answer",
                                medianOf(*driver, "extension_to_answer"),
                                "idle_pair (floor)",
                                medianOf(*driver, "floor"),
                                Unit::nanoseconds,
                                {}});
}

void addMemory(Report& report, const std::optional<Json>& json, const std::string& which, double budgetKiB) {
  if (!json) {
    report.notRun.push_back("memory (" + which + ")");
    return;
  }
  const int requests = json->value("requests", 0);
  const int window = json->value("window", 0);
  const double peak = json->value("peak_resident_kib", 0.0);
  report.comparisons.push_back({"peak resident (VmHWM), " + std::to_string(requests) + " " + which, peak, "budget",
                                budgetKiB, Unit::kibibytes, Budget::below(budgetKiB)});
  // The floor: the same program, its libraries loaded, before its first request.
  report.comparisons.push_back(
      {"  the extension idle, before any request", json->value("idle_resident_kib", 0.0), "", 0, Unit::kibibytes, {}});
  report.comparisons.push_back({"  resident size, last " + std::to_string(window) + " of " + std::to_string(requests),
                                json->value("last_window_resident_kib", 0.0), "first " + std::to_string(window),
                                json->value("first_window_resident_kib", 0.0), Unit::kibibytes,
                                Budget::noGrowth(kGrowthSlackKiB)});
  report.comparisons.push_back(
      {"  requests per second, pipelined", json->value("requests_per_second", 0.0), "", 0, Unit::perSecond, {}});
}

struct TreeRow {
  std::string name;
  double nanoseconds;
  double allocations;
  double allocatedBytes;
  double buildAllocations;
  double jsonBytes;
};

std::vector<TreeRow> readTrees(const std::optional<Json>& json) {
  std::vector<TreeRow> rows;
  if (!json) return rows;
  for (const auto& [name, run] : readGoogleBenchmark(*json)) {
    const auto counter = [&](const char* key) {
      const auto found = run.counters.find(key);
      return found == run.counters.end() ? 0.0 : found->second;
    };
    rows.push_back({name.substr(name.find('/') + 1), run.nanoseconds, counter("allocs"), counter("alloc_bytes"),
                    counter("build_allocs"), counter("json_bytes")});
  }
  // In the order the widget host presents them: the widget first, then the activity.
  const std::vector<std::string> order = {"widget_entry",    "lock-screen",      "expanded",
                                          "compact-leading", "compact-trailing", "minimal"};
  std::ranges::sort(rows, {}, [&](const TreeRow& row) { return std::ranges::find(order, row.name) - order.begin(); });
  return rows;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

std::string bytesPerByte(double allocated, double json) {
  if (json <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", allocated / json);
  return text;
}

void printText(const Report& report, const std::vector<TreeRow>& trees) {
  std::printf("\n%-52s %11s   %-46s %12s   %-13s %-16s %-8s %s\n", "figure", "value", "baseline", "value", "ratio",
              "budget", "", "ratio in each round");
  for (std::size_t i = 0; i < report.comparisons.size(); ++i) {
    const auto& c = report.comparisons[i];
    const bool hasBaseline = c.baselineValue > 0;
    std::printf("%-52s %11s   %-46s %12s   %-13s %-16s %-8s %s\n", c.figure.c_str(),
                bench::formatValue(c.value, c.unit).c_str(), c.baseline.c_str(),
                hasBaseline ? bench::formatValue(c.baselineValue, c.unit).c_str() : "",
                hasBaseline ? bench::ratioText(c).c_str() : "", bench::budgetText(c).c_str(),
                bench::verdictText(bench::verdict(c)).c_str(), report.spreadOf(i).c_str());
  }
  if (!trees.empty()) {
    std::printf("\n%-18s %12s %10s %14s %12s %14s %20s\n", "view tree", "build+JSON", "allocs", "bytes alloc.",
                "of which in", "JSON bytes", "bytes alloc. per");
    std::printf("%-18s %12s %10s %14s %12s %14s %20s\n", "", "per tree", "per tree", "per tree", "build (allocs)", "",
                "JSON byte");
    for (const auto& t : trees) {
      std::printf("%-18s %12s %10s %14s %12s %14s %20s\n", t.name.c_str(),
                  bench::formatValue(t.nanoseconds, Unit::nanoseconds).c_str(), number(t.allocations).c_str(),
                  number(t.allocatedBytes).c_str(), number(t.buildAllocations).c_str(), number(t.jsonBytes).c_str(),
                  bytesPerByte(t.allocatedBytes, t.jsonBytes).c_str());
    }
  }
  for (const auto& missing : report.notRun) std::printf("not run: %s\n", missing.c_str());
}

void printMarkdown(const Report& report, const std::vector<TreeRow>& trees) {
  std::printf(
      "| figure | value | baseline | value | ratio | budget | | ratio in each round |\n"
      "|---|---:|---|---:|---:|---|---|---|\n");
  for (std::size_t i = 0; i < report.comparisons.size(); ++i) {
    const auto& c = report.comparisons[i];
    const bool hasBaseline = c.baselineValue > 0;
    std::string figure = c.figure;
    if (figure.starts_with("  ")) figure = "&nbsp;&nbsp;" + figure.substr(2);
    std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", figure.c_str(),
                bench::formatValue(c.value, c.unit).c_str(), c.baseline.c_str(),
                hasBaseline ? bench::formatValue(c.baselineValue, c.unit).c_str() : "",
                hasBaseline ? bench::ratioText(c).c_str() : "", bench::budgetText(c).c_str(),
                bench::verdictText(bench::verdict(c)).c_str(), report.spreadOf(i).c_str());
  }
  if (!trees.empty()) {
    std::printf(
        "\n| view tree | build + JSON | allocations | bytes allocated | JSON bytes | allocated per JSON byte |\n"
        "|---|---:|---:|---:|---:|---:|\n");
    for (const auto& t : trees) {
      std::printf("| %s | %s | %s | %s | %s | %s |\n", t.name.c_str(),
                  bench::formatValue(t.nanoseconds, Unit::nanoseconds).c_str(), number(t.allocations).c_str(),
                  number(t.allocatedBytes).c_str(), number(t.jsonBytes).c_str(),
                  bytesPerByte(t.allocatedBytes, t.jsonBytes).c_str());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Prints every benchmark figure beside its baseline, with the ratio and the budget."};
  std::string folder;
  bool markdown = false;
  bool strict = false;
  app.add_option("results", folder, "the folder with the run's result files")
      ->required()
      ->check(CLI::ExistingDirectory);
  app.add_flag("--markdown", markdown, "print Markdown tables");
  app.add_flag("--strict", strict, "exit with status 1 when a budget is missed");
  CLI11_PARSE(app, argc, argv);

  const fs::path dir(folder);
  Report report;
  addPreset(report, readJson(dir / "preset.json"));
  addWarm(report, readJson(dir / "warm.json"));
  addCold(report, readJson(dir / "cold.json"), HyperfineRounds::read(dir, "cold_widget_host"));
  addMemory(report, readJson(dir / "memory.json"), "mixed requests", kPeakResidentBudgetKiB);
  addMemory(report, readJson(dir / "memory_ordinary.json"), "without 1 MiB lines", kPeakOrdinaryResidentBudgetKiB);
  bench::addPictures(report, dir);
  bench::addLiveHost(report, readJson(dir / "live.json"));
  const auto trees = readTrees(readJson(dir / "view_trees.json"));
  if (trees.empty()) report.notRun.push_back("view_trees.json (view trees)");

  if (markdown) {
    printMarkdown(report, trees);
  } else {
    printText(report, trees);
  }
  int met = 0;
  int missed = 0;
  for (const auto& c : report.comparisons) {
    const auto v = bench::verdict(c);
    met += v == bench::Verdict::met ? 1 : 0;
    missed += v == bench::Verdict::missed ? 1 : 0;
  }
  if (!markdown) std::printf("\nbudgets: %d met, %d missed\n", met, missed);
  return strict && missed > 0 ? 1 : 0;
}
