#include "platform/render/png_decoder.h"

#include <libdeflate.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/render/png_format.h"

namespace render {
namespace {

using png::kBitDepth;
using png::kColourTypeRGB;
using png::kColourTypeRGBA;
using png::kSignature;
// cairo's largest image surface.
constexpr std::uint32_t kMaxSide = 32767;

std::uint32_t bigEndian(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
         std::uint32_t{bytes[3]};
}

struct Header {
  std::uint32_t width;
  std::uint32_t height;
  std::size_t channels;  // 3: RGB, 4: RGBA
};

// The file's header and its image data (the IDAT chunks joined), when the file is of
// the kind read here and every chunk is whole, with its CRC right.
struct Parsed {
  Header header;
  std::string_view data;  // into the file when one IDAT holds it, else into `joined`
  std::string joined;
  std::size_t end;  // just past IEND: what a reader of the file takes in
};

std::optional<Parsed> parse(std::string_view file) {
  if (!file.starts_with(kSignature)) return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  std::size_t at = kSignature.size();
  std::optional<Header> header;
  std::vector<std::string_view> parts;
  bool lastWasData = false;
  for (;;) {
    if (file.size() - at < 12) return std::nullopt;
    const std::uint32_t length = bigEndian(bytes + at);
    if (length > file.size() - at - 12) return std::nullopt;
    const std::string_view type = file.substr(at + 4, 4);
    const unsigned char* data = bytes + at + 8;
    if (libdeflate_crc32(0, bytes + at + 4, std::size_t{length} + 4) != bigEndian(data + length)) return std::nullopt;
    at += std::size_t{length} + 12;
    if (!header) {
      if (type != "IHDR" || length != 13) return std::nullopt;
      const std::uint32_t width = bigEndian(data);
      const std::uint32_t height = bigEndian(data + 4);
      const std::uint8_t depth = data[8];
      const std::uint8_t colour = data[9];
      // Depth 8, RGB or RGBA, deflate, the one filter method, no interlace.
      if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || depth != kBitDepth ||
          (colour != kColourTypeRGB && colour != kColourTypeRGBA) || data[10] != 0 || data[11] != 0 || data[12] != 0) {
        return std::nullopt;
      }
      header = Header{width, height, colour == kColourTypeRGB ? std::size_t{3} : std::size_t{4}};
    } else if (type == "IDAT") {
      if (!parts.empty() && !lastWasData) return std::nullopt;  // the image data comes in one run
      parts.emplace_back(reinterpret_cast<const char*>(data), length);
    } else if (type == "IEND") {
      break;
    } else if (type == "tRNS" || ((type[0] & 0x20) == 0 && (type != "PLTE" || !parts.empty()))) {
      // A transparent colour, or a critical chunk besides a suggested palette before the
      // image data: cairo's.
      return std::nullopt;
    }
    lastWasData = type == "IDAT";
  }
  if (parts.empty()) return std::nullopt;
  Parsed parsed{*header, parts.front(), {}, at};
  if (parts.size() > 1) {
    for (std::string_view part : parts) parsed.joined.append(part);
    parsed.data = parsed.joined;
  }
  return parsed;
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the row's filter in place; `previous` is the row above, unfiltered (zeros for
// the first row). False for a filter type that does not exist.
bool unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* previous, std::size_t size, std::size_t bpp) {
  switch (filter) {
    case 0: return true;
    case 1:
      for (std::size_t i = bpp; i < size; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
      return true;
    case 2:
      for (std::size_t i = 0; i < size; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < size; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + ((left + previous[i]) >> 1));
      }
      return true;
    case 4:
      for (std::size_t i = 0; i < size; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int upLeft = i >= bpp ? previous[i - bpp] : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + paeth(left, previous[i], upLeft));
      }
      return true;
    default: return false;
  }
}

// cairo's rounding of a colour channel multiplied by its alpha.
std::uint32_t multiplyAlpha(std::uint32_t alpha, std::uint32_t colour) {
  const std::uint32_t product = alpha * colour + 0x80;
  return (product + (product >> 8)) >> 8;
}

void storeRow(const std::uint8_t* in, std::uint32_t width, std::size_t channels, std::uint32_t* out) {
  if (channels == 3) {
    for (std::uint32_t x = 0; x < width; ++x, in += 3) {
      out[x] = 0xFF000000u | (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    }
    return;
  }
  for (std::uint32_t x = 0; x < width; ++x, in += 4) {
    const std::uint32_t alpha = in[3];
    std::uint32_t red = in[0];
    std::uint32_t green = in[1];
    std::uint32_t blue = in[2];
    if (alpha == 0) {
      out[x] = 0;
      continue;
    }
    if (alpha != 0xFF) {
      red = multiplyAlpha(alpha, red);
      green = multiplyAlpha(alpha, green);
      blue = multiplyAlpha(alpha, blue);
    }
    out[x] = (alpha << 24) | (red << 16) | (green << 8) | blue;
  }
}

struct FreeDecompressor {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

ImageSurface readHere(const Parsed& parsed) {
  const Header& header = parsed.header;
  const std::size_t rowSize = std::size_t{header.width} * header.channels;
  const std::size_t rowsSize = (rowSize + 1) * header.height;
  const auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(rowsSize);
  thread_local const std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor(
      libdeflate_alloc_decompressor());
  if (decompressor == nullptr) return nullptr;
  // Exactly the rows: less, more or a broken stream goes to cairo's reader.
  if (libdeflate_zlib_decompress(decompressor.get(), parsed.data.data(), parsed.data.size(), rows.get(), rowsSize,
                                 nullptr) != LIBDEFLATE_SUCCESS) {
    return nullptr;
  }
  const cairo_format_t format = header.channels == 3 ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32;
  ImageSurface surface(
      cairo_image_surface_create(format, static_cast<int>(header.width), static_cast<int>(header.height)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return surface;
  unsigned char* pixels = cairo_image_surface_get_data(surface.get());
  const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
  const std::vector<std::uint8_t> zeros(rowSize, 0);
  const std::uint8_t* previous = zeros.data();
  for (std::uint32_t y = 0; y < header.height; ++y) {
    std::uint8_t* row = rows.get() + (rowSize + 1) * y;
    if (!unfilter(row[0], row + 1, previous, rowSize, header.channels)) return nullptr;
    storeRow(row + 1, header.width, header.channels, reinterpret_cast<std::uint32_t*>(pixels + stride * y));
    previous = row + 1;
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

struct Reading {
  std::string_view bytes;
  std::size_t at = 0;
};

cairo_status_t readFrom(void* closure, unsigned char* data, unsigned int length) {
  auto* reading = static_cast<Reading*>(closure);
  if (reading->bytes.size() - reading->at < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, reading->bytes.data() + reading->at, length);
  reading->at += length;
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

ImageSurface decodePNG(std::string_view bytes) {
  if (std::optional<Parsed> parsed = parse(bytes)) {
    ImageSurface surface = readHere(*parsed);
    if (surface != nullptr && cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS) {
      // As cairo's reader does, the file itself goes with the pixels, so that an SVG
      // embeds the original rather than the pixels encoded again.
      const std::string_view file = bytes.substr(0, parsed->end);  // what follows IEND is not read
      auto* copy = static_cast<unsigned char*>(std::malloc(file.size()));
      if (copy != nullptr) {
        std::memcpy(copy, file.data(), file.size());
        if (cairo_surface_set_mime_data(surface.get(), CAIRO_MIME_TYPE_PNG, copy, file.size(), std::free, copy) !=
            CAIRO_STATUS_SUCCESS) {
          std::free(copy);
        }
        return surface;
      }
    }
  }
  Reading reading{bytes};
  return ImageSurface(cairo_image_surface_create_from_png_stream(readFrom, &reading));
}

}  // namespace render
