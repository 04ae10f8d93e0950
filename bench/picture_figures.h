// The pictures' and the live host's rows of the report: a cold picture against its
// floor program, the warm time of one picture, the gallery against one cold start plus
// its pictures' warm drawing, the variant matrix on every core against one process at
// a time, and an update of the live host against the same work done warm.
#pragma once

#include <filesystem>
#include <optional>

#include "report.h"

namespace bench {

// From the rounds of pictures and matrix (hyperfine's exports) and picture.json
// (picture_driver), with the rounds of cold_widget_host for the cold start that the
// gallery's baseline includes.
void addPictures(Report& report, const std::filesystem::path& results);

// From live.json (live_driver).
void addLiveHost(Report& report, const std::optional<Json>& live);

}  // namespace bench
