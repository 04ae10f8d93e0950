#include "platform/foundation/folder_watch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/foundation/current_process.h"

namespace foundation::suite {
namespace {

constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

int FolderWatch::watchFolderOf(const std::string& path) {
  if (owner_ != currentProcess()) {
    if (notifier_ >= 0) ::close(notifier_);
    notifier_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    owner_ = currentProcess();
  }
  struct stat info {};
  if (notifier_ < 0 || (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))) return -1;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
  return inotify_add_watch(notifier_, folder.c_str(), kFolderEvents);
}

bool FolderWatch::readEvents(void (*onEvent)(void*, const Event&), void* context) {
  if (notifier_ < 0 || owner_ != currentProcess()) return true;
  alignas(inotify_event) std::array<char, 4096> buffer;
  for (;;) {
    const ssize_t got = ::read(notifier_, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return true;
    if (got <= 0) {
      ::close(std::exchange(notifier_, -1));
      return false;
    }
    for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      // The name is padded with NULs to the event's length.
      const std::string_view name =
          event.len == 0 ? std::string_view() : std::string_view(buffer.data() + at + sizeof event);
      onEvent(context, Event{event.wd, name, (event.mask & IN_Q_OVERFLOW) != 0, (event.mask & IN_IGNORED) != 0});
      at += sizeof event + event.len;
    }
  }
}

}  // namespace foundation::suite
