// Tests of the bench suite's own parts: the budget verdicts the report prints, pooling
// hyperfine's rounds, reading /proc status files, and driving a real child process
// (echo_floor) over real pipes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "budget.h"
#include "golden/golden.h"
#include "hyperfine_rounds.h"
#include "proc_status.h"
#include "support/child_process.h"

namespace bench {
namespace {

TEST(ComparisonGolden, ValuesVerdictRatioAndBudgetText) {
  const Comparison cases[] = {
      {"decode", 100, "alternative", 600, Unit::nanoseconds, Budget::timesFaster(5)},
      {"decode", 100, "alternative", 400, Unit::nanoseconds, Budget::timesFaster(5)},
      {"decode", 300, "floor", 150, Unit::nanoseconds, Budget::withinTimes(2)},
      {"decode", 301, "floor", 150, Unit::nanoseconds, Budget::withinTimes(2)},
      {"peak", 8000, "budget", 8192, Unit::kibibytes, Budget::below(8192)},
      {"peak", 8192, "budget", 8192, Unit::kibibytes, Budget::below(8192)},
      {"late", 5064, "early", 5000, Unit::kibibytes, Budget::noGrowth(64)},
      {"late", 5065, "early", 5000, Unit::kibibytes, Budget::noGrowth(64)},
      {"decode", 0, "floor", 150, Unit::nanoseconds, Budget::withinTimes(2)},
      {"decode", 4210, "alternative", 3'100'000, Unit::nanoseconds, Budget::timesFaster(5)},
      {"peak", 980, "budget", 8192, Unit::kibibytes, Budget::below(8192)},
      {"rps", 24'412.4, "echo", 90000, Unit::perSecond, {}},
  };
  // Per comparison: figure and baseline (each value in the unit its magnitude picks),
  // then the verdict, ratio and budget as the report prints them. A side that was not measured (zero) never meets a
  // budget.
  std::string out;
  for (const Comparison& c : cases) {
    out += c.figure + " " + formatValue(c.value, c.unit) + " / " + c.baseline + " " +
           formatValue(c.baselineValue, c.unit) + ": [" + verdictText(verdict(c)) + "] " + ratioText(c) + ", " +
           budgetText(c) + "\n";
  }
  tul::testing::expectGolden("bench-comparisons.txt", out);
}

TEST(MemoryStatus, ParsesResidentAndPeak) {
  const std::string status =
      "Name:\tTulWidgetExtension\nVmPeak:\t  12000 kB\nVmHWM:\t    6120 kB\nVmRSS:\t    5432 kB\n";
  const auto parsed = parseMemoryStatus(status);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->residentKiB, 5432u);
  EXPECT_EQ(parsed->peakResidentKiB, 6120u);

  for (const std::string bad :
       {"VmRSS:\t 5432 kB\n", "VmHWM:\t 6120 kB\nVmRSS:\t 5432 MB\n", "VmHWM:\t 6120 kB\nVmRSS:\t lots kB\n", ""}) {
    EXPECT_FALSE(parseMemoryStatus(bad)) << bad;
  }

  const auto own = readMemoryStatus(::getpid());
  ASSERT_TRUE(own);
  EXPECT_GT(own->residentKiB, 0u);
  EXPECT_LE(own->residentKiB, own->peakResidentKiB);
}

TEST(CpuTicks, AddsUserAndSystemTimeAfterTheCommandName) {
  // The command name may hold spaces and parentheses; fields count from after its ')'.
  const std::string stat = "4242 (Tul (x) y) S 1 4242 4242 0 -1 4194304 200 0 0 0 37 5 0 0 20 0 1 0 99 1000 300";
  EXPECT_EQ(parseCpuTicks(stat), 42u);
  for (const std::string bad : {"4242 Tul S 1", "4242 (Tul) S 1 2 3", "4242 (Tul) S 1 4242 4242 0 -1 0 0 0 0 0 x 5"}) {
    EXPECT_FALSE(parseCpuTicks(bad)) << bad;
  }
  EXPECT_EQ(parseRunNanoseconds("1234567 890 12\n"), 1234567u);
  for (const std::string bad : {"", " 12 3", "x 1 2", "12x 1 2"}) EXPECT_FALSE(parseRunNanoseconds(bad)) << bad;
  // Time this process spends working shows up, finer than a clock tick.
  const auto before = readCpuSeconds(::getpid());
  ASSERT_TRUE(before);
  volatile std::uint64_t spin = 0;
  for (std::uint64_t i = 0; i < 20'000'000; ++i) spin = spin + i;
  const auto after = readCpuSeconds(::getpid());
  ASSERT_TRUE(after);
  EXPECT_GT(*after, *before);
}

// The shared child process as the protocol driver uses it: blocking lines, and the
// timed calls beside them.
TEST(HyperfineRounds, PoolsTheRunsOfEveryRoundAndGivesTheRatioInEach) {
  const auto dir = std::filesystem::path(::testing::TempDir()) / ("rounds-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto write = [&](const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; };
  // The second round lists the commands the other way round, as the bench runs them.
  write("step.round1.json", R"({"results": [
      {"command": "figure", "times": [0.003, 0.001, 0.002], "user": 0.5, "mean": 0.002},
      {"command": "floor", "times": [0.002, 0.002], "user": 0.2, "mean": 0.002}]})");
  write("step.round2.json", R"({"results": [
      {"command": "floor", "times": [0.001], "user": 0.1, "mean": 0.001},
      {"command": "figure", "times": [0.004], "user": 0.8, "mean": 0.004}]})");
  write("step.round4.json", R"({"results": [{"command": "figure", "times": [9]}]})");  // after a gap: not read

  const auto rounds = HyperfineRounds::read(dir, "step");
  ASSERT_TRUE(rounds);
  EXPECT_EQ(rounds->size(), 2u);
  EXPECT_DOUBLE_EQ(rounds->median("figure"), 2.5e6);  // of 1, 2, 3 and 4 ms
  EXPECT_DOUBLE_EQ(rounds->median("floor"), 2e6);
  EXPECT_DOUBLE_EQ(rounds->mean("figure", "user"), (0.5 * 3 + 0.8) / 4 * 1e9);
  EXPECT_EQ(rounds->median("absent"), 0);
  EXPECT_EQ(rounds->ratioSpread({"figure"}, {"floor"}), "1.00x-4.00x over 2 rounds");
  EXPECT_EQ(rounds->ratioSpread({"figure"}, 1e6), "2.00x-4.00x over 2 rounds");
  EXPECT_EQ(rounds->ratioSpread({"figure"}, {"floor", "absent"}), "");
  EXPECT_FALSE(HyperfineRounds::read(dir, "other"));
  std::filesystem::remove_all(dir);
}

TEST(ChildProcess, DrivesALineServerOverPipes) {
  using tul::testing::ChildProcess;
  auto echo = ChildProcess::start({TUL_ECHO_FLOOR, "10"});
  ASSERT_TRUE(echo) << echo.error();
  std::string line;
  // Lines that arrive together are answered one by one; the answer's size never
  // depends on the request's. A request split over two writes is one line.
  ASSERT_TRUE(echo->write("first\nsecond, a longer one\npar"));
  ASSERT_TRUE(echo->readLine(line));
  EXPECT_EQ(line, std::string(9, 'x'));
  EXPECT_EQ(echo->readLine(), std::string(9, 'x'));
  EXPECT_EQ(echo->readLine(std::chrono::milliseconds(50)), std::nullopt);  // waits for "t\n"
  ASSERT_TRUE(echo->write("t\n", tul::testing::kNoDeadline));
  ASSERT_TRUE(echo->readLine(line));
  EXPECT_EQ(line.size(), 9u);
  echo->closeInput();
  EXPECT_EQ(echo->wait(), 0);

  auto refused = ChildProcess::start({TUL_ECHO_FLOOR, "0"});
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->readLine(line));  // no output at all: end of output
  EXPECT_EQ(refused->wait(), 2);

  const auto missing = ChildProcess::start({"/nonexistent/program"});
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("/nonexistent/program"), std::string::npos);
}

}  // namespace
}  // namespace bench
