#include "platform/foundation/helper_thread.h"

#include <pthread.h>
#include <sched.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace foundation {
namespace {

struct Start {
  std::function<void()> work;
  cpu_set_t allowed{};          // the maker's processors, given back to the thread as it starts
  bool placedElsewhere = false;
};

extern "C" void* runHelper(void* argument) {
  const std::unique_ptr<Start> start(static_cast<Start*>(argument));
  if (start->placedElsewhere) ::sched_setaffinity(0, sizeof start->allowed, &start->allowed);
  try {
    start->work();
  } catch (...) {
    std::terminate();  // as std::thread does with a work that throws
  }
  return nullptr;
}

}  // namespace

HelperThread::HelperThread(std::function<void()> work) {
  auto start = std::make_unique<Start>();
  start->work = std::move(work);
  pthread_attr_t attributes;
  if (const int failed = ::pthread_attr_init(&attributes); failed != 0) {
    throw std::system_error(failed, std::generic_category(), "cannot start a helper thread");
  }
  // Every processor the maker may use but the one it is on, if that leaves any; else
  // the thread starts where Linux puts it.
  if (::sched_getaffinity(0, sizeof start->allowed, &start->allowed) == 0) {
    cpu_set_t elsewhere = start->allowed;
    const int here = ::sched_getcpu();
    if (here >= 0 && here < CPU_SETSIZE) CPU_CLR(static_cast<std::size_t>(here), &elsewhere);
    start->placedElsewhere = CPU_COUNT(&elsewhere) > 0 &&
                             ::pthread_attr_setaffinity_np(&attributes, sizeof elsewhere, &elsewhere) == 0;
  }
  int failed = ::pthread_create(&thread_, &attributes, runHelper, start.get());
  ::pthread_attr_destroy(&attributes);
  if (failed != 0 && start->placedElsewhere) {
    // Refused where it was to start (the processors allowed may have changed since they
    // were read): started where Linux puts it instead.
    start->placedElsewhere = false;
    failed = ::pthread_create(&thread_, nullptr, runHelper, start.get());
  }
  if (failed != 0) throw std::system_error(failed, std::generic_category(), "cannot start a helper thread");
  start.release();  // the thread owns it now
}

HelperThread::~HelperThread() { join(); }

void HelperThread::join() {
  if (!joinable_) return;
  joinable_ = false;
  ::pthread_join(thread_, nullptr);
}

}  // namespace foundation
