// drawInParallel: the jobs of a picture command run on several threads, each result
// kept in its job's place, so that what is written does not depend on which thread
// drew what. A job that throws becomes a renderFailed error in its place. Each job is
// told whether it is drawn side by side with another: then its pictures keep to its
// thread; a job left alone (the last, once the others are done) may use every core.
//
// The first thread takes jobs from the front of the list and the second from its
// back (a third from the front again, and so on), until they meet. A caller that puts
// the jobs that share fonts at one end has each set drawn mostly on one thread, whose
// fonts are then loaded once, not on both.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <deque>
#include <exception>
#include <expected>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "answer_pictures.h"
#include "host_error.h"
#include "platform/foundation/helper_thread.h"

namespace host {

using PictureJob = std::function<std::expected<std::vector<NamedPicture>, HostError>(bool sideBySide)>;

// How many threads drawInParallel() runs `jobs` jobs on, asked for `threads` (0: one
// per core; never more than there are jobs, never none).
inline unsigned threadsFor(unsigned threads, std::size_t jobs) {
  if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads, jobs)));
}

// Runs every job on threadsFor(`threads`, the number of jobs) threads.
inline std::vector<std::expected<std::vector<NamedPicture>, HostError>> drawInParallel(
    const std::vector<PictureJob>& jobs, unsigned threads) {
  std::vector<std::expected<std::vector<NamedPicture>, HostError>> results(jobs.size());
  std::mutex taking;
  std::size_t front = 0;           // the next job from the front
  std::size_t back = jobs.size();  // one past the next job from the back
  std::atomic<std::size_t> finished{0};
  threads = threadsFor(threads, jobs.size());
  const auto take = [&](bool fromBack) -> std::optional<std::size_t> {
    const std::lock_guard lock(taking);
    if (front == back) return std::nullopt;
    return fromBack ? --back : front++;
  };
  const auto work = [&](bool fromBack) {
    while (const std::optional<std::size_t> i = take(fromBack)) {
      // Another job is still being drawn, or waits for a thread.
      const bool sideBySide = threads > 1 && finished.load() + 1 < jobs.size();
      try {
        results[*i] = jobs[*i](sideBySide);
      } catch (const std::exception& error) {
        results[*i] = std::unexpected(HostError{ExitCode::renderFailed, std::string("cannot draw: ") + error.what()});
      }
      ++finished;
    }
  };
  {
    std::deque<foundation::HelperThread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back([&work, fromBack = t % 2 == 1] { work(fromBack); });
    work(false);
  }
  return results;
}

}  // namespace host
