#include "platform/render/decoded_images.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <future>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/foundation/read_file.h"
#include "platform/render/png_decoder.h"

namespace render {
namespace {

// What tells one version of a file from the next without reading it.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  off_t size;
  std::int64_t modifiedSeconds;
  long modifiedNanoseconds;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

// The file read whole and decoded, its size known from `identity`; one that is no
// regular file, too large to read whole, or unreadable is left to cairo's reader, which
// streams it and reports why it fails.
ImageSurface decodedFile(const std::filesystem::path& file, const std::optional<FileIdentity>& identity) {
  constexpr off_t kMostBytesRead = off_t{64} << 20;
  if (identity && identity->size <= kMostBytesRead) {
    const auto size = static_cast<std::size_t>(identity->size);
    if (const auto bytes = foundation::readFilePrefix(file, size); bytes && bytes->size() == size) {
      return decodePNG(*bytes);
    }
  }
  return ImageSurface(cairo_image_surface_create_from_png(file.c_str()));
}

std::size_t pixelBytes(cairo_surface_t* surface) {
  return static_cast<std::size_t>(cairo_image_surface_get_stride(surface)) *
         static_cast<std::size_t>(cairo_image_surface_get_height(surface));
}

struct Kept {
  std::filesystem::path file;
  FileIdentity identity;
  ImageSurface surface;
  std::size_t bytes;
  std::uint64_t lastUse;
};

// A file decoded, with what its identity was before it was read.
struct Decoded {
  std::filesystem::path file;
  std::optional<FileIdentity> identity;
  ImageSurface surface;
};

Decoded decodedNow(const std::filesystem::path& file) {
  std::optional<FileIdentity> identity = identityOf(file);
  ImageSurface surface = decodedFile(file, identity);
  return Decoded{file, identity, std::move(surface)};
}

class Cache {
 public:
  std::expected<ImageSurface, std::string> decoded(const std::filesystem::path& file) {
    const std::optional<FileIdentity> identity = identityOf(file);
    if (ImageSurface kept = find(file, identity)) return kept;
    ImageSurface surface = decodedFile(file, identity);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
      return std::unexpected(std::string(cairo_status_to_string(cairo_surface_status(surface.get()))));
    }
    if (identity) keep(file, *identity, surface.get());
    return surface;
  }

  // Whether `file` is kept as it is now.
  bool holds(const std::filesystem::path& file) { return static_cast<bool>(find(file, identityOf(file))); }

  // A file decoded elsewhere; kept when it decoded and nothing newer is kept.
  void adopt(const Decoded& decoded) {
    if (!decoded.identity || cairo_surface_status(decoded.surface.get()) != CAIRO_STATUS_SUCCESS) return;
    if (find(decoded.file, decoded.identity)) return;
    keep(decoded.file, *decoded.identity, decoded.surface.get());
  }

 private:
  // The kept surface of `file` when it was kept with `identity`; a kept version that
  // differs is dropped.
  ImageSurface find(const std::filesystem::path& file, const std::optional<FileIdentity>& identity) {
    const auto found = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.file == file; });
    if (found == kept_.end()) return nullptr;
    if (identity && found->identity == *identity) {
      found->lastUse = ++clock_;
      return ImageSurface(cairo_surface_reference(found->surface.get()));
    }
    kept_.erase(found);  // changed or gone
    return nullptr;
  }

  void keep(const std::filesystem::path& file, const FileIdentity& identity, cairo_surface_t* surface) {
    const std::size_t bytes = pixelBytes(surface);
    if (bytes > kKeptImageBytes) return;
    std::size_t total = bytes;
    for (const Kept& k : kept_) total += k.bytes;
    while (!kept_.empty() && (kept_.size() >= kKeptImages || total > kKeptImageBytes)) {
      const auto oldest = std::min_element(kept_.begin(), kept_.end(),
                                           [](const Kept& a, const Kept& b) { return a.lastUse < b.lastUse; });
      total -= oldest->bytes;
      kept_.erase(oldest);
    }
    kept_.push_back(Kept{file, identity, ImageSurface(cairo_surface_reference(surface)), bytes, ++clock_});
  }

  std::vector<Kept> kept_;
  std::uint64_t clock_ = 0;
};

Cache& threadCache() {
  thread_local Cache cache;
  return cache;
}

}  // namespace

std::expected<ImageSurface, std::string> decodedPNG(const std::filesystem::path& file) {
  return threadCache().decoded(file);
}

struct ImagesDecodedAhead::Decoding {
  std::vector<std::filesystem::path> files;  // to decode in keep(): no thread was started
  std::future<std::vector<Decoded>> elsewhere;
};

ImagesDecodedAhead::ImagesDecodedAhead(std::vector<std::filesystem::path> files, bool elsewhere)
    : decoding_(std::make_unique<Decoding>()) {
  std::erase_if(files, [](const std::filesystem::path& file) { return threadCache().holds(file); });
  if (files.empty()) return;
  if (!elsewhere) {
    decoding_->files = std::move(files);
    return;
  }
  try {
    decoding_->elsewhere = std::async(std::launch::async, [files] {
      std::vector<Decoded> decoded;
      for (const auto& file : files) decoded.push_back(decodedNow(file));
      return decoded;
    });
  } catch (const std::system_error&) {
    decoding_->files = std::move(files);
  }
}

ImagesDecodedAhead::~ImagesDecodedAhead() {
  if (decoding_->elsewhere.valid()) decoding_->elsewhere.wait();
}

void ImagesDecodedAhead::keep() {
  if (decoding_->elsewhere.valid()) {
    for (const Decoded& one : decoding_->elsewhere.get()) threadCache().adopt(one);
  }
  for (const auto& file : decoding_->files) static_cast<void>(decodedPNG(file));
  decoding_->files.clear();
}

}  // namespace render
