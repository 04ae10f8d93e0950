// OutputFormat: how a command shows its result. Each format has one name on the
// command line; a new format is a new enumerator and a new row in kOutputFormatNames,
// and every command that cannot produce it says so.
//
// text and json go to standard output; png and svg are pictures of what the phone
// shows, written to files (see output_files.h), and only the commands that answer
// with views (placeholder, snapshot, timeline, activity, gallery) make them.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

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

// The formats of pictures, drawn by the renderer module (picture_renderer.h).
enum class ImageFormat { png, svg };

// "png", "svg": the format's name, and its files' extension.
inline std::string_view name(ImageFormat format) { return format == ImageFormat::png ? "png" : "svg"; }

// The picture format of `format`; none for text and json.
inline std::optional<ImageFormat> imageFormat(OutputFormat format) {
  if (format == OutputFormat::png) return ImageFormat::png;
  if (format == OutputFormat::svg) return ImageFormat::svg;
  return std::nullopt;
}

}  // namespace host
