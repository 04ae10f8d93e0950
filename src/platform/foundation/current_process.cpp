#include "platform/foundation/current_process.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace foundation::suite {

pid_t currentProcess() {
  static std::atomic<pid_t> current = [] {
    pthread_atfork(nullptr, nullptr, [] { current.store(getpid(), std::memory_order_relaxed); });
    return getpid();
  }();
  return current.load(std::memory_order_relaxed);
}

}  // namespace foundation::suite
