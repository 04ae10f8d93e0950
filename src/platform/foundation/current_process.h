// This process's id without a system call, kept right in the child of fork().
//
// The suite store asks for it on every UserDefaults::make() (a connection or an
// inotify instance inherited across fork() belongs to the parent); getpid() each time
// was a system call a request.
#pragma once

#include <sys/types.h>

namespace foundation::suite {

pid_t currentProcess();

}  // namespace foundation::suite
