// Held signals: while a HeldSignals lives, SIGINT, SIGTERM and SIGHUP sent to this
// process wait instead of ending it, so that work that must not be cut in half (files
// staged beside their targets) can finish or be undone first. When it ends, the
// signals that came meanwhile are delivered as they would have been.
//
// Holding is per thread: it serves a process whose other threads leave these signals
// blocked, as the widget host's single thread does.
#pragma once

#include <signal.h>

namespace foundation {

class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  // Whether one of the held signals came since this began: the work should stop and
  // undo what it did.
  bool arrived() const;

 private:
  sigset_t held_;
  sigset_t previous_;
};

}  // namespace foundation
