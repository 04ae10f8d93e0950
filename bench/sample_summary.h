// The summary of a series of timings that the drivers write for bench_report: the
// median, the 99th percentile and the least, in microseconds, and how many there were;
// and the median of a series.
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

// The median of `values` (of the two middle ones, their mean); zero when there are none.
inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2 == 1) return *middle;
  return (*middle + *std::max_element(values.begin(), middle)) / 2;
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
