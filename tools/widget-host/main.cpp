// widget-host's entry: runs the command line and makes sure that whatever goes wrong
// ends in a one-line message and a non-zero exit status, never a crash.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "command_line.h"
#include "host_error.h"
#include "large_blocks.h"

namespace {

// A command's end leaves what it built (the renderer's fonts and caches, each library's
// own state) to the kernel, which frees it all at once: by then its output is flushed
// and checked and its files are in place, and tearing it down piece by piece only kept
// the caller waiting. Sanitizer builds end as usual, so that the leak checker runs.
[[noreturn]] void endWith(int status) {
#if defined(__SANITIZE_ADDRESS__)
  std::exit(status);
#else
  std::fflush(nullptr);
  std::_Exit(status);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  host::keepLargeBlocksInHeap();
  try {
    endWith(host::runCommandLine(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "widget-host: internal error: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "widget-host: internal error\n");
  }
  return static_cast<int>(host::ExitCode::internal);
}
