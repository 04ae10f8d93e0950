// AllocationCounter: counts the heap allocations this process makes through operator
// new, by number and by bytes asked for.
//
// Linking allocation_counter.cpp into a program replaces the global operator new and
// delete (every form) with ones that count and then call malloc and free. Counting is
// process-wide and thread-safe (relaxed atomics); reading a snapshot costs two loads.
// Allocations made straight through malloc (by C libraries) are not seen.
#pragma once

#include <cstdint>

namespace bench {

struct AllocationCount {
  std::uint64_t allocations = 0;
  std::uint64_t bytes = 0;

  friend AllocationCount operator-(const AllocationCount& a, const AllocationCount& b) {
    return {a.allocations - b.allocations, a.bytes - b.bytes};
  }
};

// The totals since the program started.
AllocationCount allocationsSoFar();

}  // namespace bench
