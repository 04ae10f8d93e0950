#include "picture_figures.h"

#include <fstream>
#include <string>
#include <vector>

#include "hyperfine_rounds.h"
#include "sample_summary.h"

namespace bench {
namespace {

constexpr double kLiveTailBudgetNs = 50e6;  // the 99th percentile of an update: 50 ms
constexpr double kLiveGrowthSlackKiB = 1024;

double medianNs(const Json& summary) { return summary.value("median_us", 0.0) * 1e3; }

// The numbers in `file`, one per line; none when it cannot be read.
std::vector<double> readSamples(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<double> samples;
  for (double each = 0; in >> each;) samples.push_back(each);
  return samples;
}

}  // namespace

void addPictures(Report& report, const std::filesystem::path& results) {
  const auto hyperfine = HyperfineRounds::read(results, "pictures");
  const auto warm = readJson(results / "picture.json");
  const auto cold = HyperfineRounds::read(results, "cold_widget_host");
  if (!hyperfine || !warm) {
    report.notRun.push_back("pictures.round*.json and picture.json (pictures)");
    return;
  }
  report.comparisons.push_back({"one picture, cold: widget-host timeline --format png",
                                hyperfine->median("one picture, cold"), "picture_floor: cairo, pango, one line, a PNG",
                                hyperfine->median("floor"), Unit::nanoseconds, Budget::withinTimes(1.5)});
  report.spreadOfLast(hyperfine->ratioSpread({"one picture, cold"}, {"floor"}));
  const double oneWarm = medianNs(warm->value("picture_warm", Json::object()));
  report.comparisons.push_back(
      {"  the same picture, warm (drawn again in one process)", oneWarm, "", 0, Unit::nanoseconds, {}});

  // The gallery's floor: a cold start, then its pictures drawn warm one after another,
  // both timed in the same rounds as the cold gallery (a `widget-host timeline`, and
  // short picture_driver runs that append their drawings), so that a slow minute of the
  // machine falls on the gallery and its floor alike; the separate steps' figures
  // where those are missing.
  const double gallery = hyperfine->median("gallery, cold");
  const std::vector<double> pooled = readSamples(results / "gallery_warm_serial.txt");
  const double serial =
      pooled.empty() ? medianNs(warm->value("gallery_warm_one_thread", Json::object())) : bench::median(pooled) * 1e3;
  double startup = hyperfine->median("timeline, cold");
  if (startup <= 0 && cold) startup = cold->median("widget-host timeline");
  const double galleryFloor = startup > 0 ? startup + serial : 0;
  const std::string pictures = std::to_string(warm->value("gallery_pictures", 0));
  report.comparisons.push_back({"gallery, cold: widget-host gallery (" + pictures + " pictures)", gallery,
                                "cold start + its pictures drawn warm, in turn", galleryFloor, Unit::nanoseconds,
                                Budget::withinTimes(1.5)});
  report.spreadOfLast(hyperfine->ratioSpread({"gallery, cold"}, galleryFloor));
  report.comparisons.push_back({"  its pictures drawn warm, on every core",
                                medianNs(warm->value("gallery_warm_every_core", Json::object())),
                                "one at a time",
                                serial,
                                Unit::nanoseconds,
                                {}});
  report.comparisons.push_back({"  processor time of widget-host gallery (user + system)",
                                hyperfine->mean("gallery, cold", "user") + hyperfine->mean("gallery, cold", "system"),
                                "its wall time (mean)",
                                hyperfine->mean("gallery, cold"),
                                Unit::nanoseconds,
                                {}});
  if (const auto matrix = HyperfineRounds::read(results, "matrix")) {
    report.comparisons.push_back({"matrix, 84 pictures, every core",
                                  matrix->median("matrix, every core"),
                                  "the same, one process at a time",
                                  matrix->median("matrix, one process at a time"),
                                  Unit::nanoseconds,
                                  {}});
  }
}

void addLiveHost(Report& report, const std::optional<Json>& live) {
  if (!live) {
    report.notRun.push_back("live.json (the live host)");
    return;
  }
  const Json updates = live->value("live", Json::object());
  const Json floor = live->value("floor", Json::object());
  report.comparisons.push_back({"live host: stored preset + reload to timeline event", medianNs(updates),
                                "the same request and drawing, warm, in one process", medianNs(floor),
                                Unit::nanoseconds, Budget::withinTimes(2)});
  report.comparisons.push_back({"  99th percentile", updates.value("p99_us", 0.0) * 1e3, "budget", kLiveTailBudgetNs,
                                Unit::nanoseconds, Budget::below(kLiveTailBudgetNs)});
  const Json resident = live->value("rss_kib", Json::object());
  report.comparisons.push_back(
      {"  resident size, last tenth of " + std::to_string(live->value("updates", 0)) + " updates (median)",
       resident.value("late", 0.0), "second tenth", resident.value("early", 0.0), Unit::kibibytes,
       Budget::noGrowth(kLiveGrowthSlackKiB)});
}

}  // namespace bench
