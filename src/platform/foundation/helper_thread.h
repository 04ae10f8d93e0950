// foundation::HelperThread: a thread that runs one piece of work beside the thread
// that made it, joined when it ends (as std::jthread is), and started on another
// processor than its maker's whenever the process may use one.
//
// Linux puts a new thread on the processor of the thread that made it, and there it
// waits until its maker blocks or the scheduler next spreads the load: on the two-core
// virtual machines this runs on, 1 to 3 ms, for a helper meant to take half of a step
// that lasts a few. Started elsewhere, it ran within about 0.1 ms. Once it runs it may
// move to any processor its maker may use; nothing stays tied.
#pragma once

#include <pthread.h>

#include <functional>

namespace foundation {

class HelperThread {
 public:
  // Starts `work` (which must not throw) on its own thread; throws std::system_error
  // when no thread can be made, as std::thread does.
  explicit HelperThread(std::function<void()> work);
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;
  ~HelperThread();

  // Waits for `work` to return; at most once, and the destructor does it if need be.
  void join();

 private:
  pthread_t thread_{};
  bool joinable_ = true;
};

}  // namespace foundation
