// Decoded pictures: PNG files decoded as cairo image surfaces, kept per thread, so
// that a picture drawn again (the gallery, the live host) or a file decoded ahead of
// its drawing is not decoded a second time. ImagesDecodedAhead decodes the files a
// picture will need on a thread of its own while the caller lays the picture out.
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
#include <vector>

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

// Those of `files` that this thread does not keep, decoded on another thread from the
// moment it is made; keep() waits for them and keeps those that decoded in this
// thread's pictures, where decodedPNG() finds them. A file that fails is left for
// decodedPNG() to report. When `elsewhere` is false (a picture that keeps to its
// thread), or no thread can be started, keep() decodes them itself. Not copyable; the
// destructor waits for the other thread.
class ImagesDecodedAhead {
 public:
  ImagesDecodedAhead(std::vector<std::filesystem::path> files, bool elsewhere);
  ImagesDecodedAhead(const ImagesDecodedAhead&) = delete;
  ImagesDecodedAhead& operator=(const ImagesDecodedAhead&) = delete;
  ~ImagesDecodedAhead();

  void keep();

 private:
  struct Decoding;
  std::unique_ptr<Decoding> decoding_;
};

}  // namespace render
