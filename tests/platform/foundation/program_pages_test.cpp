#include "platform/foundation/program_pages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace foundation {
namespace {

// Resident kibibytes of this process, from /proc/self/statm.
long residentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Data the program wrote, and data the dynamic linker relocated: neither may revert
// to what the file holds.
int counter = 0;
const char* const kNames[] = {"first", "second"};

struct Shape {
  virtual ~Shape() = default;
  virtual int sides() const = 0;
};
struct Square : Shape {
  int sides() const override { return 4; }
};

TEST(ProgramPages, ResidentSizeFallsAndTheProgramRunsOnAsBefore) {
  counter = 41;
  std::string before = std::to_string(counter) + kNames[1];
  const long residentBefore = residentKiB();

  EXPECT_GT(releaseProgramPages(), 0u);
  EXPECT_LT(residentKiB(), residentBefore);

  ++counter;
  EXPECT_EQ(counter, 42);
  EXPECT_STREQ(kNames[0], "first");
  const std::unique_ptr<Shape> shape = std::make_unique<Square>();
  const std::function<int(int)> twice = [](int n) { return 2 * n; };
  EXPECT_EQ(twice(shape->sides()), 8);
  EXPECT_EQ(before + std::to_string(counter), "41second42");

  // Again, from another thread.
  std::size_t again = 0;
  std::thread([&] { again = releaseProgramPages(); }).join();
  EXPECT_GT(again, 0u);
  EXPECT_EQ(std::to_string(counter), "42");
}

}  // namespace
}  // namespace foundation
