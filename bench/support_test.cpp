// Tests of the bench suite's own parts: the budget verdicts the report prints, reading
// /proc status files, and driving a real child process (echo_floor) over real pipes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "budget.h"
#include "proc_status.h"
#include "support/child_process.h"

namespace bench {
namespace {

TEST(Comparison, VerdictRatioAndBudgetText) {
  struct Case {
    Comparison comparison;
    Verdict verdict;
    std::string ratio;
    std::string budget;
  };
  const std::vector<Case> cases = {
      {{"decode", 100, "alternative", 600, Unit::nanoseconds, Budget::timesFaster(5)},
       Verdict::met,
       "6.00x faster",
       ">= 5.00x faster"},
      {{"decode", 100, "alternative", 400, Unit::nanoseconds, Budget::timesFaster(5)},
       Verdict::missed,
       "4.00x faster",
       ">= 5.00x faster"},
      {{"decode", 300, "floor", 150, Unit::nanoseconds, Budget::withinTimes(2)}, Verdict::met, "2.00x", "<= 2.00x"},
      {{"decode", 301, "floor", 150, Unit::nanoseconds, Budget::withinTimes(2)}, Verdict::missed, "2.01x", "<= 2.00x"},
      {{"peak", 8000, "budget", 8192, Unit::kibibytes, Budget::below(8192)}, Verdict::met, "0.98x", "< 8.00 MiB"},
      {{"peak", 8192, "budget", 8192, Unit::kibibytes, Budget::below(8192)}, Verdict::missed, "1.00x", "< 8.00 MiB"},
      {{"late", 5064, "early", 5000, Unit::kibibytes, Budget::noGrowth(64)}, Verdict::met, "1.01x", "<= +64.0 KiB"},
      {{"late", 5065, "early", 5000, Unit::kibibytes, Budget::noGrowth(64)}, Verdict::missed, "1.01x", "<= +64.0 KiB"},
      // A side that was not measured (zero) never meets a budget.
      {{"decode", 0, "floor", 150, Unit::nanoseconds, Budget::withinTimes(2)}, Verdict::missed, "-", "<= 2.00x"},
      {{"rps", 25000, "echo", 90000, Unit::perSecond, {}}, Verdict::none, "0.28x", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.comparison.figure + " " + std::to_string(c.comparison.value));
    EXPECT_EQ(verdict(c.comparison), c.verdict);
    EXPECT_EQ(ratioText(c.comparison), c.ratio);
    EXPECT_EQ(budgetText(c.comparison), c.budget);
  }
}

TEST(FormatValue, PicksTheUnitByMagnitude) {
  const std::vector<std::tuple<double, Unit, std::string>> cases = {
      {612, Unit::nanoseconds, "612 ns"},        {4210, Unit::nanoseconds, "4.21 µs"},
      {3'100'000, Unit::nanoseconds, "3.10 ms"}, {980, Unit::kibibytes, "980 KiB"},
      {7600, Unit::kibibytes, "7.42 MiB"},       {24'412.4, Unit::perSecond, "24,412/s"},
  };
  for (const auto& [value, unit, text] : cases) EXPECT_EQ(formatValue(value, unit), text);
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
  const auto own = readCpuSeconds(::getpid());
  ASSERT_TRUE(own);
  EXPECT_GE(*own, 0.0);
}

// The shared child process as the protocol driver uses it: blocking lines, and the
// timed calls beside them.
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
