// Crash safety of the shared store: writers killed with SIGKILL at random points of
// their writes, again and again, and after each kill a fresh process that opens the
// suite and loads the preset the way the extension does.

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <thread>

#include "hardening_support.h"
#include "host_presets.h"
#include "platform/foundation/user_defaults.h"
#include "support/temp_folder.h"

namespace tul::hardening {
namespace {

using foundation::Data;
using foundation::UserDefaults;

// What the suite may hold after a kill, as stored bytes, "(nothing)" or "(a default)"
// (a whole default preset, whatever its id): what the last acknowledged step left, or
// what the step in flight would leave.
struct Allowed {
  std::string acknowledged;
  std::string inFlight;
};

std::string blob(const Data& data) { return std::string(foundation::stringView(data)); }

// From the writer's acknowledgements ("k", "b k" or "d k", one a line) and what the
// suite held before it started; `highest` becomes the last number acknowledged.
Allowed allowedAfter(const std::string& mode, std::int64_t first, const std::vector<std::string>& lines,
                     const std::optional<std::string>& before, std::int64_t& highest) {
  const bool presets = mode == "presets";
  highest = first - 1;
  if (lines.empty()) return {before.value_or("(nothing)"), blob(presets ? hostPresetData(first) : brokenData(first))};
  highest = std::stoll(presets ? lines.back() : lines.back().substr(2));
  if (presets) return {blob(hostPresetData(highest)), blob(hostPresetData(highest + 1))};
  // After "b k" its load may have stored the default; after "d k" the next write may
  // have landed.
  if (lines.back().starts_with("b ")) return {blob(brokenData(highest)), "(a default)"};
  return {"(a default)", blob(brokenData(highest + 1))};
}

// The writers, each in a process of its own, until killed: the host app ("presets")
// stores host presets k, k+1, ..., writing "k" to `fd` after each write has returned;
// an extension ("fallbacks") stores broken value k and writes "b k", then loads as the
// extension does (which stores the default over it) and writes "d k".
[[noreturn]] void runWriter(const std::string& mode, std::int64_t k, int fd) {
  const auto store = [](const Data& data) {
    auto suite = UserDefaults::make(kSharedSuiteName);
    if (!suite || !suite->set(foundation::PropertyValue{data}, kSharedPresetKey)) std::_Exit(2);
  };
  for (;; ++k) {
    const std::string number = std::to_string(k);
    if (mode == "presets") {
      store(hostPresetData(k));
      if (!say(fd, number + "\n")) std::_Exit(4);
      continue;
    }
    store(brokenData(k));
    if (!say(fd, "b " + number + "\n")) std::_Exit(4);
    (void)MiniMelody::loadShared();
    if (!say(fd, "d " + number + "\n")) std::_Exit(4);
  }
}

// In a fresh process: the suite opens, holds an allowed value whole, and the next
// load behaves as the store's rules say. Reports "kept in flight" or "kept
// acknowledged" when all held: which of the allowed values it found.
std::string checkAfterKill(const Allowed& allowed) {
  auto suite = UserDefaults::make(kSharedSuiteName);
  if (!suite) return "the suite does not open after the kill";
  const auto value = suite->object(kSharedPresetKey);
  const Data* data = value ? value->getIf<Data>() : nullptr;
  if (value && !data) return "the suite holds a value that is not data";
  const std::optional<MiniMelody> stored = data ? presetIn(*data) : std::nullopt;
  const std::string found = data ? blob(*data) : "(nothing)";
  const auto matches = [&](const std::string& wanted) {
    return found == wanted || (wanted == "(a default)" && stored && isDefaultPreset(*stored));
  };
  if (!matches(allowed.acknowledged) && !matches(allowed.inFlight)) {
    return "after the kill the suite holds neither value whole: " + found;
  }
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
  return matches(allowed.inFlight) ? "kept in flight" : "kept acknowledged";
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
    const Forked writer = startForked([&](int fd) -> std::string { runWriter(mode, first, fd); });
    ASSERT_NE(writer.output, nullptr);
    std::vector<std::string> lines;
    for (int i = acknowledgements(random); i > 0; --i) {
      auto line = readLine(writer.output);
      ASSERT_TRUE(line) << "the writer stopped";
      lines.push_back(*line);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
    ::kill(writer.pid, SIGKILL);
    int status = 0;
    ::waitpid(writer.pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended by itself: " << status;
    while (auto line = readLine(writer.output)) lines.push_back(*line);
    std::fclose(writer.output);
    std::int64_t highest = 0;
    const Allowed allowed = allowedAfter(mode, first, lines, before, highest);
    next = highest + 2;

    const ChildOutcome check = runForked([&] { return checkAfterKill(allowed); });
    ASSERT_TRUE(check.exited() && check.report.starts_with("kept "))
        << "round " << round << " (" << mode << ", seed " << seed << "): " << check.describe();
    before = readRawData(file, kSharedPresetKey);
    ++(lines.empty() ? beforeFirstWrite : check.report == "kept in flight" ? newValueKept : oldValueKept);
  }
  std::printf(
      "%ld writers killed: %ld before their first acknowledged write, %ld with the value in flight "
      "kept, %ld with the last acknowledged value kept\n",
      rounds, beforeFirstWrite, newValueKept, oldValueKept);
  RecordProperty("killed", std::to_string(rounds));
}

}  // namespace
}  // namespace tul::hardening
