// The summary of a series of timings that the drivers write for bench_report: the
// median, the 99th percentile and the least, in microseconds, and how many there were.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <vector>

namespace bench {

inline double microseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

// `times` must not be empty.
inline nlohmann::json summary(std::vector<double> times) {
  std::ranges::sort(times);
  const auto at = [&](double share) {
    return times[static_cast<std::size_t>(share * static_cast<double>(times.size() - 1))];
  };
  return {{"median_us", at(0.5)}, {"p99_us", at(0.99)}, {"min_us", times.front()}, {"samples", times.size()}};
}

}  // namespace bench
