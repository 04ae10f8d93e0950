// OutputFormat: how a command shows its result. Each format has one name on the
// command line; a new format is a new enumerator and a new row in kOutputFormatNames,
// and every command that cannot produce it says so.
//
// text and json go to standard output; png and svg are pictures of what the phone
// shows, written to files (see picture_files.h), and only the commands that answer
// with views (placeholder, snapshot, timeline, activity, gallery) make them.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/render/render.h"

namespace host {

enum class OutputFormat {
  text,  // a readable outline for a terminal
  json,  // the result as pretty-printed JSON
  png,   // pictures, as PNG files
  svg,   // pictures, as SVG files
};

inline constexpr std::array<std::pair<std::string_view, OutputFormat>, 4> kOutputFormatNames = {{
    {"text", OutputFormat::text},
    {"json", OutputFormat::json},
    {"png", OutputFormat::png},
    {"svg", OutputFormat::svg},
}};

// The picture format of `format`; none for text and json.
inline std::optional<render::ImageFormat> imageFormat(OutputFormat format) {
  if (format == OutputFormat::png) return render::ImageFormat::png;
  if (format == OutputFormat::svg) return render::ImageFormat::svg;
  return std::nullopt;
}

}  // namespace host
