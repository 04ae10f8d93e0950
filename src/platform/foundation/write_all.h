// writeAll: writes every byte to a file descriptor, going on after short writes and
// interrupted calls, as pipes and full disks require.
//
// Returns false when a write fails (errno says why); some bytes may have been written
// by then. Thread-safe as far as the descriptor is.
#pragma once

#include <string_view>

namespace foundation {

bool writeAll(int fd, std::string_view bytes);

}  // namespace foundation
