// widget-host's entry: runs the command line and makes sure that whatever goes wrong
// ends in a one-line message and a non-zero exit status, never a crash.
#include <cstdio>
#include <exception>

#include "command_line.h"
#include "host_error.h"
#include "large_blocks.h"

int main(int argc, char** argv) {
  host::keepLargeBlocksInHeap();
  try {
    return host::runCommandLine(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "widget-host: internal error: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "widget-host: internal error\n");
  }
  return static_cast<int>(host::ExitCode::internal);
}
