// A helper thread runs its work before join() returns, on a thread of its own that,
// wherever it started, may use every processor its maker may.
#include "platform/foundation/helper_thread.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

namespace {

TEST(HelperThread, RunsItsWorkFreeToUseEveryProcessorOfItsMaker) {
  cpu_set_t maker;
  ASSERT_EQ(::sched_getaffinity(0, sizeof maker, &maker), 0);
  for (int round = 0; round < 3; ++round) {
    cpu_set_t helper;
    CPU_ZERO(&helper);
    std::thread::id ranOn;
    foundation::HelperThread thread([&] {
      ranOn = std::this_thread::get_id();
      ::sched_getaffinity(0, sizeof helper, &helper);
    });
    thread.join();
    EXPECT_NE(ranOn, std::thread::id());
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(CPU_EQUAL(&helper, &maker)) << "round " << round;
  }
}

}  // namespace
