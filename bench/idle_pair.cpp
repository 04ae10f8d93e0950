// idle_pair: a bare pair of processes, the reference below a cold start's floor.
// Starts a second process (itself, with --child) that exits at once, waits for it,
// and exits: two processes with nothing to load and nothing to do, as
// `widget-host timeline` starts itself and the extension. (The cold start's floor is
// the two real programs started idle; see docs/performance.md.)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return 0;
  char child[] = "--child";
  char* childArgv[] = {argv[0], child, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, childArgv, environ) != 0) return 1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
