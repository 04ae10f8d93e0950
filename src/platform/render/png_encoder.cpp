#include "platform/render/png_encoder.h"

#include <libdeflate.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/render/png_format.h"

namespace render {
namespace {

using png::kBitDepth;
using png::kColourTypeRGBA;
using png::kNoRowFilter;
using png::kSignature;
// The compressed rows go out in IDAT chunks of at most this many bytes.
constexpr std::size_t kMaxChunkData = std::size_t{1} << 20;

void appendBigEndian(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                         static_cast<char>(value)};
  out.append(bytes, 4);
}

// One chunk: its length, type, data, and the CRC-32 of its type and data.
void appendChunk(std::string& out, std::string_view type, std::string_view data) {
  appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type);
  out.append(data);
  appendBigEndian(out, libdeflate_crc32(0, out.data() + start, out.size() - start));
}

// One row of cairo's native-endian premultiplied ARGB as straight RGBA bytes, rounded as
// cairo's writer rounds.
void unpremultiplied(const std::uint32_t* in, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x, out += 4) {
    const std::uint32_t pixel = in[x];
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 0) {
      std::memset(out, 0, 4);
      continue;
    }
    if (alpha == 0xFF) {  // opaque: nothing to divide
      out[0] = static_cast<std::uint8_t>(pixel >> 16);
      out[1] = static_cast<std::uint8_t>(pixel >> 8);
      out[2] = static_cast<std::uint8_t>(pixel);
      out[3] = 0xFF;
      continue;
    }
    const auto channel = [&](int shift) {
      const std::uint32_t value = (pixel >> shift) & 0xFF;
      return static_cast<std::uint8_t>((value * 255 + alpha / 2) / alpha);
    };
    out[0] = channel(16);
    out[1] = channel(8);
    out[2] = channel(0);
    out[3] = static_cast<std::uint8_t>(alpha);
  }
}

struct FreeCompressor {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

}  // namespace

std::expected<std::string, RenderError> encodePNG(cairo_surface_t* surface) {
  const auto fail = [](const std::string& why) {
    return std::unexpected(RenderError{RenderError::Kind::drawing, "cannot encode PNG: " + why});
  };
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
    return fail("not an ARGB32 image surface");
  }
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  if (width <= 0 || height <= 0 || data == nullptr) return fail("the picture has no pixels");

  // The rows as the file holds them before compression: each a filter byte (none),
  // then its pixels. Both buffers are left uninitialised: every byte of the rows is
  // written, and of the room for the compressed rows only what the compressor writes
  // is touched (typically a tenth of it), not a page more.
  const std::size_t rowBytes = 1 + static_cast<std::size_t>(width) * 4;
  const std::size_t rowsSize = rowBytes * static_cast<std::size_t>(height);
  const auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(rowsSize);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = rows.get() + rowBytes * static_cast<std::size_t>(y);
    row[0] = kNoRowFilter;
    unpremultiplied(reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride), width,
                    row + 1);
  }

  const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(libdeflate_alloc_compressor(1));
  if (compressor == nullptr) return fail("out of memory");
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rowsSize);
  const auto compressed = std::make_unique_for_overwrite<char[]>(bound);
  const std::size_t size = libdeflate_zlib_compress(compressor.get(), rows.get(), rowsSize, compressed.get(), bound);
  if (size == 0) return fail("the compressed rows do not fit their bound");

  std::string header;
  appendBigEndian(header, static_cast<std::uint32_t>(width));
  appendBigEndian(header, static_cast<std::uint32_t>(height));
  header += {static_cast<char>(kBitDepth), static_cast<char>(kColourTypeRGBA), 0, 0, 0};  // deflate, no interlace

  std::string bytes(kSignature);
  bytes.reserve(kSignature.size() + 25 + size + 12 * (size / kMaxChunkData + 1) + 12);
  appendChunk(bytes, "IHDR", header);
  for (std::size_t at = 0; at < size; at += kMaxChunkData) {
    appendChunk(bytes, "IDAT", std::string_view(compressed.get(), size).substr(at, kMaxChunkData));
  }
  appendChunk(bytes, "IEND", {});
  return bytes;
}

}  // namespace render
