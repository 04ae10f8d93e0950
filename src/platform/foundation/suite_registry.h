// The process's suite connections: at most one per suite file, shared by every handle
// on that suite, and replaced when the file on disk is no longer the one it opened.
//
// A later handle must notice a suite file that was removed, replaced or moved since its
// connection was opened. Looking the path up again is a stat, which cost more than the
// rest of a read of a preference; so a process that keeps using a suite has the file's
// folder watched (FolderWatch), and the path is looked up only after an event names
// the file or the folder itself. The watch starts only after a few lookups: releasing
// an inotify instance makes the kernel wait for a grace period, and that added
// milliseconds to the exit of every short-lived process (a `widget-host timeline`, a
// defaults command) that opened a suite once or twice. Where inotify cannot be used
// (no instance, no watch left, a suite file that is a symbolic link), every look-up
// stats the path. Folders above the suite's folder are not watched: renaming one of
// them is not noticed once the watch has started.
#pragma once

#include <expected>
#include <memory>
#include <string_view>

#include "platform/foundation/suite_connection.h"

namespace foundation::suite {

// The connection to the suite `suiteName` (a valid suite name) in `folder` (not empty;
// a relative one resolves against the working directory): the open one while its file
// is unchanged on disk, else a new one, its folder made first; none when the suite
// cannot be opened, with the reason. A connection whose file changed is retired.
// Thread-safe.
std::expected<std::shared_ptr<Connection>, SuiteOpenFailure> connectionFor(std::string_view suiteName,
                                                                           std::string_view folder);

}  // namespace foundation::suite
