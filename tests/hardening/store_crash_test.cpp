// Crash safety of the shared store: writers killed with SIGKILL at random points of
// their writes, again and again, and after each kill a fresh process that opens the
// suite and loads the preset the way the extension does.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "hardening_support.h"
#include "host_presets.h"
#include "platform/foundation/user_defaults.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::hardening {
namespace {

using foundation::Data;
using foundation::UserDefaults;

// What the suite may hold after a kill: one of these blobs, a whole default (when
// allowDefault), or nothing (when allowNothing).
struct Allowed {
  std::set<std::string> blobs;
  bool allowDefault = false;
  bool allowNothing = false;
};

std::string blob(const Data& data) { return std::string(foundation::stringView(data)); }

// Parses the writer's acknowledgements ("k", "b k" or "d k", one a line) into what the
// suite may hold now, given what it held before the writer started.
Allowed allowedAfter(const std::string& mode, std::int64_t first, const std::vector<std::string>& lines,
                     const std::optional<std::string>& before, std::int64_t& highest) {
  Allowed allowed;
  highest = first - 1;
  if (lines.empty()) {
    allowed.allowNothing = !before;
    if (before) allowed.blobs.insert(*before);
    allowed.blobs.insert(blob(mode == "presets" ? hostPresetData(first) : brokenData(first)));
    return allowed;
  }
  const std::string& last = lines.back();
  if (mode == "presets") {
    highest = std::stoll(last);
    allowed.blobs = {blob(hostPresetData(highest)), blob(hostPresetData(highest + 1))};
  } else {
    highest = std::stoll(last.substr(2));
    // After "b k" its load may or may not have written the default; after "d k" the
    // next write may or may not have landed.
    allowed.blobs = {blob(brokenData(last.starts_with("b ") ? highest : highest + 1))};
    allowed.allowDefault = true;
  }
  return allowed;
}

// In a fresh process: the suite opens, holds an allowed value whole, and the next
// load behaves as the store's rules say. Writes the value it found to `found`.
std::string checkAfterKill(const Allowed& allowed, const std::filesystem::path& found) {
  auto suite = UserDefaults::make(kSharedSuiteName);
  if (!suite) return "the suite does not open after the kill";
  const auto value = suite->object(kSharedPresetKey);
  const Data* data = value ? value->getIf<Data>() : nullptr;
  if (value && !data) return "the suite holds a value that is not data";
  std::optional<MiniMelody> stored;
  if (data) {
    stored = presetIn(*data);
    const bool listed = allowed.blobs.contains(blob(*data));
    const bool isDefault = allowed.allowDefault && stored && isDefaultPreset(*stored);
    if (!listed && !isDefault) return "after the kill the suite holds neither value whole: " + blob(*data);
  } else if (!allowed.allowNothing) {
    return "after the kill the suite lost its value";
  }
  std::ofstream(found, std::ios::binary | std::ios::trunc) << (data ? blob(*data) : std::string("(nothing)"));

  const MiniMelody loaded = MiniMelody::loadShared();
  const auto now = suite->object(kSharedPresetKey);
  const Data* nowData = now ? now->getIf<Data>() : nullptr;
  if (stored) {
    if (!(loaded == *stored) || loaded.id != stored->id) return "the load did not return the stored preset";
    if (!nowData || *nowData != *data) return "a load of a readable preset changed the stored value";
  } else {
    if (!(loaded == MiniMelody::defaultMelody())) return "the load of an unreadable value did not return the default";
    const auto written = nowData ? presetIn(*nowData) : std::nullopt;
    if (!written || !(*written == loaded)) return "the load did not store its default over the unreadable value";
  }
  return "";
}

TEST(StoreCrashSafety, KilledWritersLeaveTheOldOrTheNewValueWholeAndTheNextLoadFollowsTheRules) {
  testing::TempPreferences prefs;
  const auto file = prefs.suiteFile(std::string(kSharedSuiteName));
  const long rounds = countFromEnvironment("TUL_CRASH_ROUNDS", 500);
  const unsigned seed = hardeningSeed();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> acknowledgements(0, 3);
  std::uniform_int_distribution<int> delayMicroseconds(0, 4000);
  RecordProperty("seed", std::to_string(seed));
  std::printf("seed %u, %ld rounds\n", seed, rounds);

  const auto foundFile = prefs.root() / "found-after-kill";
  std::optional<std::string> before;  // what the suite holds between rounds
  std::int64_t next = 1;
  // How the kills landed: before the writer's first write counted, after a write
  // whose acknowledgement never came out (the new value is there), or after the last
  // acknowledged write (the value in flight, if any, is not there).
  long beforeFirstWrite = 0;
  long newValueKept = 0;
  long oldValueKept = 0;
  for (long round = 0; round < rounds; ++round) {
    // Every tenth round starts from no file at all, so kills also land in the
    // creation of the database.
    if (round % 10 == 0) {
      for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file.string() + suffix);
      before.reset();
    }
    const std::string mode = round % 3 == 2 ? "fallbacks" : "presets";
    const std::int64_t first = next;
    auto writer = testing::ChildProcess::start({TUL_STORE_WRITER, mode, std::to_string(first)}).value();
    std::vector<std::string> lines;
    for (int i = acknowledgements(random); i > 0; --i) {
      auto line = writer.readLine();
      ASSERT_TRUE(line) << "the writer stopped";
      lines.push_back(*line);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
    writer.kill(SIGKILL);
    ASSERT_EQ(writer.wait(), 128 + SIGKILL) << "the writer did not end after SIGKILL, or ended by itself";

    const std::string rest = writer.readToEnd();
    for (std::size_t start = 0, end = 0; (end = rest.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(rest.substr(start, end - start));
    }
    std::int64_t highest = 0;
    const Allowed allowed = allowedAfter(mode, first, lines, before, highest);
    next = highest + 2;

    const ChildOutcome check = runForked([&] { return checkAfterKill(allowed, foundFile); });
    ASSERT_TRUE(check.clean()) << "round " << round << " (" << mode << ", seed " << seed << "): " << check.describe();
    const auto left = readRawRow(file, std::string(kSharedPresetKey));
    before = left ? std::optional(left->bytes) : std::nullopt;
    // The operation in flight at the kill: the next preset, the next broken value, or
    // (after "b k") the load's default.
    const std::string found = testing::readFile(foundFile);
    const bool inFlightKept = mode == "presets" ? found == blob(hostPresetData(highest + 1))
                              : !lines.empty() && lines.back().starts_with("b ")
                                  ? holdsDefaultPreset(foundation::dataFromString(found))
                                  : found == blob(brokenData(highest + 1));
    ++(lines.empty() ? beforeFirstWrite : inFlightKept ? newValueKept : oldValueKept);
  }
  std::printf(
      "%ld writers killed: %ld before their first acknowledged write, %ld with the value in flight "
      "kept, %ld with the last acknowledged value kept\n",
      rounds, beforeFirstWrite, newValueKept, oldValueKept);
  RecordProperty("killed", std::to_string(rounds));
}

}  // namespace
}  // namespace tul::hardening
