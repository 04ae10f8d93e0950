// Decoded pictures: PNG files decoded as cairo image surfaces, kept per thread, so
// that a picture drawn again (the gallery, the live host) or a file decoded ahead of
// its drawing is not decoded a second time.
//
// A kept file is decoded again when its size, modification time or file identity
// changed. A thread keeps at most kKeptImages files and kKeptImageBytes of pixels (the
// least recently used go first); a failed decode is never kept.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>

namespace render {

inline constexpr std::size_t kKeptImages = 8;
inline constexpr std::size_t kKeptImageBytes = std::size_t{32} << 20;

struct ImageSurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using ImageSurface = std::unique_ptr<cairo_surface_t, ImageSurfaceRelease>;

// `file` decoded (a reference of the caller's own), or why it cannot be: cairo's
// reason for a file that is missing or no PNG.
std::expected<ImageSurface, std::string> decodedPNG(const std::filesystem::path& file);

}  // namespace render
