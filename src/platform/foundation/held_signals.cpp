#include "platform/foundation/held_signals.h"

#include <pthread.h>

namespace foundation {
namespace {

constexpr int kHeld[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

HeldSignals::HeldSignals() {
  sigemptyset(&held_);
  for (int signal : kHeld) sigaddset(&held_, signal);
  pthread_sigmask(SIG_BLOCK, &held_, &previous_);
}

HeldSignals::~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

bool HeldSignals::arrived() const {
  sigset_t pending;
  sigemptyset(&pending);
  if (sigpending(&pending) != 0) return false;
  for (int signal : kHeld) {
    // One that was blocked before this began is not this one's to report.
    if (sigismember(&pending, signal) == 1 && sigismember(&previous_, signal) == 0) return true;
  }
  return false;
}

}  // namespace foundation
