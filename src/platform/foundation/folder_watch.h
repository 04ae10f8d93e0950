// FolderWatch: this process's inotify instance, watching the folders of suite files for
// entries created, removed or moved in or out, and for the folder itself going away.
//
// Promises: never blocks; a child of fork() makes an instance of its own instead of
// reading (and so taking away) its parent's events; when the events can no longer be
// read the instance is closed and readEvents() says so once, after which there are no
// watches. Folders further up are not watched. Not thread-safe: its owner serialises
// the calls.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace foundation::suite {

class FolderWatch {
 public:
  struct Event {
    int watch;              // the watch it concerns (-1 with `overflow`)
    std::string_view name;  // the entry in the folder, empty for the folder itself
    bool overflow;          // events were lost: any watch may be concerned
    bool watchEnded;        // the watch is gone (its folder was removed or moved away)
  };

  // A watch on the folder that holds the file at `path` (absolute), or -1 when there
  // can be none (no inotify instance or watch left, or the file is a symbolic link,
  // whose target's folder would be the one to watch).
  int watchFolderOf(const std::string& path);

  // Hands each event queued since the last call to `onEvent(Event)`. False when the
  // events could not be read: then every watch has ended.
  template <typename OnEvent>
  bool readEvents(OnEvent& onEvent) {
    return readEvents([](void* context, const Event& event) { (*static_cast<OnEvent*>(context))(event); },
                      static_cast<void*>(&onEvent));
  }

 private:
  bool readEvents(void (*onEvent)(void*, const Event&), void* context);

  int notifier_ = -1;
  pid_t owner_ = 0;
};

}  // namespace foundation::suite
