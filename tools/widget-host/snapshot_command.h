// Recorded pictures: `snapshot record DIR` draws the gallery's pictures (gallery.h)
// and writes, for each, its PNG and the outline of its tree ("<name>.png",
// "<name>.txt"), with the gallery's index.html to look at them; `snapshot verify DIR`
// draws them again and compares each with what is recorded: the outline as text, the
// pixels with a tolerance. For every picture that differs it writes the expected
// picture, the actual one and a difference picture (the expected one faded, each
// differing pixel magenta) into a folder of mismatches, and it fails with
// picturesDiffer, listing each.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "answer_pictures.h"
#include "extension_session.h"
#include "gallery.h"
#include "host_error.h"
#include "picture_renderer.h"

namespace host {

// When a picture matches: no more than `fraction` of its pixels differ by more than
// `threshold` in a colour or alpha channel (0 ... 255).
struct SnapshotTolerance {
  int threshold = 16;
  double fraction = 0.001;
};

struct SnapshotOptions {
  std::filesystem::path folder;
  PictureStyle style;  // PNG
  std::optional<std::string> locale;
  foundation::Overwrite overwrite = foundation::Overwrite::refuse;  // record: --force replaces
  SnapshotTolerance tolerance;
  std::filesystem::path mismatches;  // verify: empty: "<folder>-mismatches" beside the folder
};

std::expected<std::string, HostError> recordSnapshots(const ExtensionOptions& extension, const SnapshotOptions& options,
                                                      const PictureRenderer& renderer);

// Returns the summary when every picture matches.
std::expected<std::string, HostError> verifySnapshots(const ExtensionOptions& extension, const SnapshotOptions& options,
                                                      const PictureRenderer& renderer);

}  // namespace host
