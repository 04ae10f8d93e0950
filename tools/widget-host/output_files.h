// Output files: where a picture command writes, and the writing of a set of files
// (pictures, a gallery's page) as a whole.
//
// One picture goes to the --output path itself. A command that makes several (every
// Live Activity presentation, a timeline of several entries) writes one file per
// picture, named by a suffix before the extension: `--output widget.png` gives
// widget-expanded.png, widget-minimal.png, ... or widget-1.png, widget-2.png, ...
//
// A set is written only once every file of it is ready. Without Overwrite::replace
// an existing file is never replaced: all targets are checked before the first is
// written, and each write refuses on its own as well (another process may have made
// the file meanwhile). Every file is first written in full beside its target
// (platform/foundation/atomic_file.h), and only then are they renamed into place: a
// failed write leaves the old files whole and removes the new ones, and a failed
// rename removes the files this set had already created. Replacing (--force) replaces
// regular files only; a FIFO or a device node in the way is refused and left alone.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host_error.h"
#include "platform/foundation/atomic_file.h"
#include "platform/ui/variant.h"

namespace host {

// The scales of phones: pixels per point.
inline constexpr int kScales[] = {1, 2, 3};
inline constexpr int kDefaultScale = 3;

// --output, --scale and --force of a picture command, the variant its pictures are
// drawn for (--device, --text-size, the direction of --locale's language), and
// whether a layout problem fails the command (--strict).
struct PictureOutput {
  std::filesystem::path path;
  int scale = kDefaultScale;
  foundation::Overwrite overwrite = foundation::Overwrite::refuse;
  ui::Variant variant{};
  bool strict = false;
  // --format json with --device, --text-size or --strict: the views are laid out for
  // that variant and the JSON carries what does not fit ("problems").
  bool problemsInJSON = false;
};

struct OutputFile {
  std::filesystem::path path;
  std::string bytes;
};

// `path` with "-" and `suffix` before its extension: ("out/widget.png", "expanded")
// gives "out/widget-expanded.png"; a path without an extension gets the suffix last.
std::filesystem::path suffixedPath(const std::filesystem::path& path, std::string_view suffix);

// Writes every file of `files` in order, or none (see above). Fails with cannotCreate,
// naming the file: one that exists without Overwrite::replace, one that is not a
// regular file, one that names a folder, one whose folder is missing or not writable.
std::expected<void, HostError> writeOutputFiles(const std::vector<OutputFile>& files, foundation::Overwrite overwrite);

// What a picture command prints: the path of each file written, one per line.
std::string writtenFilesText(const std::vector<OutputFile>& files);

}  // namespace host
