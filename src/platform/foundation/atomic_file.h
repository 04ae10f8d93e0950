// Atomic file: writes a whole file or nothing. The bytes go to a temporary file beside
// the target (".<name>.XXXXXX"), are flushed to disk, and the temporary file is then
// renamed onto the target, so a reader sees either the old file or the complete new
// one, and a failure leaves no partial file behind.
//
// With Overwrite::refuse an existing target is never replaced: the rename itself
// refuses (renameat2 with RENAME_NOREPLACE, or link and unlink where the file system
// lacks it), so there is no window in which another writer's file could be lost.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace foundation {

enum class Overwrite { refuse, replace };

// Writes `bytes` to `target`; the error names the file and the system's reason.
std::expected<void, std::string> writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                                     Overwrite overwrite);

}  // namespace foundation
