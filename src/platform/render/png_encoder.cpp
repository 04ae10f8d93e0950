#include "platform/render/png_encoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/foundation/helper_thread.h"
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

// One pixel of cairo's native-endian premultiplied ARGB as straight RGBA bytes, rounded
// as cairo's writer rounds.
void unpremultiplied(std::uint32_t pixel, std::uint8_t* out) {
  const std::uint32_t alpha = pixel >> 24;
  if (alpha == 0) {
    std::memset(out, 0, 4);
    return;
  }
  if (alpha == 0xFF) {  // opaque: nothing to divide
    out[0] = static_cast<std::uint8_t>(pixel >> 16);
    out[1] = static_cast<std::uint8_t>(pixel >> 8);
    out[2] = static_cast<std::uint8_t>(pixel);
    out[3] = 0xFF;
    return;
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

#if defined(__SSE2__)
// Four pixels of any opacity at once, as the one above makes each. Each channel's
// quotient is taken in single precision and cut to a whole number: its numerator
// (below 2^16) and alpha are exact there, and a quotient that is not whole lies at least
// 1/alpha below the next whole number, far more than the division's rounding error
// (under 2^-24 of the quotient), so the cut gives the whole division's result. A clear
// pixel divides by 1 and is then cleared.
__m128i unpremultipliedFour(__m128i four) {
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const __m128i alpha = _mm_srli_epi32(four, 24);
  const __m128i clear = _mm_cmpeq_epi32(alpha, _mm_setzero_si128());
  const __m128 divisor = _mm_cvtepi32_ps(_mm_or_si128(alpha, _mm_and_si128(clear, _mm_set1_epi32(1))));
  const __m128i half = _mm_srli_epi32(alpha, 1);
  const auto channel = [&](int shift) {
    const __m128i value = _mm_and_si128(_mm_srli_epi32(four, shift), lowByte);
    const __m128i numerator = _mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(value, 8), value), half);
    return _mm_and_si128(_mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(numerator), divisor)), lowByte);
  };
  const __m128i rgba = _mm_or_si128(_mm_or_si128(channel(16), _mm_slli_epi32(channel(8), 8)),
                                    _mm_or_si128(_mm_slli_epi32(channel(0), 16), _mm_slli_epi32(alpha, 24)));
  return _mm_andnot_si128(clear, rgba);
}
#endif

// A row of them, four pixels at a time. Most of a picture is opaque, where only the red
// and blue bytes trade places.
void unpremultiplied(const std::uint32_t* in, int width, std::uint8_t* out) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i alphas = _mm_set1_epi32(static_cast<int>(0xFF000000U));
  const __m128i greenAndAlpha = _mm_set1_epi32(static_cast<int>(0xFF00FF00U));
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  for (; x + 4 <= width; x += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    auto* to = reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(x) * 4);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(four, alphas), alphas)) != 0xFFFF) {
      _mm_storeu_si128(to, unpremultipliedFour(four));
      continue;
    }
    const __m128i red = _mm_and_si128(_mm_srli_epi32(four, 16), lowByte);
    const __m128i blue = _mm_slli_epi32(_mm_and_si128(four, lowByte), 16);
    _mm_storeu_si128(to, _mm_or_si128(_mm_or_si128(red, blue), _mm_and_si128(four, greenAndAlpha)));
  }
#endif
  for (; x < width; ++x) unpremultiplied(in[x], out + static_cast<std::ptrdiff_t>(x) * 4);
}

struct FreeCompressor {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

// Rows from this many bytes up are compressed by two threads when the machine has a
// second processor: below it, starting the thread costs more than it saves.
constexpr std::size_t kSplitBytes = 256 * 1024;
// The share of the rows the first thread takes: zlib, which it uses, is that much
// slower than libdeflate at their fastest levels, so both finish at about one time.
constexpr double kFirstShare = 0.44;

// The zlib stream's two header bytes: deflate with a 32 KiB window, the fastest level,
// no dictionary (the check bits make the pair a multiple of 31).
constexpr char kZlibHeader[2] = {0x78, 0x01};

// Compressed bytes in a buffer left uninitialised, so that of the room set aside only
// what the compressor writes is touched (typically a tenth of it), not a page more.
struct Compressed {
  explicit Compressed(std::size_t capacity) : bytes(std::make_unique_for_overwrite<char[]>(capacity)), room(capacity) {}
  std::string_view view() const { return {bytes.get(), size}; }
  std::unique_ptr<char[]> bytes;
  std::size_t room;
  std::size_t size = 0;
};

// Raw deflate of `size` bytes that ends with an empty stored block, on a byte boundary
// and not final, so that another deflate stream may follow it: libdeflate always ends
// its streams as final, zlib's sync flush does this. None when zlib has no memory.
std::optional<Compressed> deflateUnfinished(const std::uint8_t* in, std::size_t size) {
  z_stream stream{};
  if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
  // deflateBound covers a finished stream; the sync flush adds at most a few bytes.
  Compressed out(deflateBound(&stream, static_cast<uLong>(size)) + 16);
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = reinterpret_cast<Bytef*>(out.bytes.get());
  stream.avail_out = static_cast<uInt>(out.room);
  const int status = deflate(&stream, Z_SYNC_FLUSH);
  const bool done = status == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
  out.size = stream.total_out;
  deflateEnd(&stream);
  if (!done) return std::nullopt;
  return out;
}

// `size` bytes compressed by libdeflate at its fastest level, as a zlib stream or as
// raw deflate; none when there is no memory for it.
std::optional<Compressed> libdeflateStream(const std::uint8_t* in, std::size_t size, bool zlib) {
  const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(libdeflate_alloc_compressor(1));
  if (compressor == nullptr) return std::nullopt;
  Compressed out(zlib ? libdeflate_zlib_compress_bound(compressor.get(), size)
                      : libdeflate_deflate_compress_bound(compressor.get(), size));
  out.size = zlib ? libdeflate_zlib_compress(compressor.get(), in, size, out.bytes.get(), out.room)
                  : libdeflate_deflate_compress(compressor.get(), in, size, out.bytes.get(), out.room);
  if (out.size == 0) return std::nullopt;
  return out;
}

// Unpremultiplies rows [y0, y1) of the picture into the file's rows.
void fileRows(const unsigned char* data, int stride, int width, std::uint8_t* rows, std::size_t rowBytes, int y0,
              int y1) {
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* row = rows + rowBytes * static_cast<std::size_t>(y);
    row[0] = kNoRowFilter;
    unpremultiplied(reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride), width,
                    row + 1);
  }
}

}  // namespace

std::expected<std::string, RenderError> encodePNG(cairo_surface_t* surface, Threads threads) {
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
  // then its pixels. Left uninitialised: every byte is written.
  const std::size_t rowBytes = 1 + static_cast<std::size_t>(width) * 4;
  const std::size_t rowsSize = rowBytes * static_cast<std::size_t>(height);
  const auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(rowsSize);

  // A large picture is split: one thread makes the rows of its first part and
  // compresses them with zlib into deflate blocks that another stream may follow, the
  // other does the same for the rest with libdeflate, and the file's one zlib stream is
  // the two parts between a header and the Adler-32 of all rows. Otherwise, or when a
  // thread or zlib's memory is refused, libdeflate compresses all rows in one stream.
  std::string stream;
  const int cut = static_cast<int>(height * kFirstShare);
  if (rowsSize >= kSplitBytes && cut > 0 && maySplit(threads)) {
    const std::size_t firstBytes = rowBytes * static_cast<std::size_t>(cut);
    std::optional<Compressed> first;
    std::optional<foundation::HelperThread> helper;  // joined however this scope ends
    try {
      helper.emplace([&] {
        fileRows(data, stride, width, rows.get(), rowBytes, 0, cut);
        try {
          first = deflateUnfinished(rows.get(), firstBytes);
        } catch (const std::bad_alloc&) {
          // No room for the compressed part: the rows are whole, and compressed below.
        }
      });
    } catch (const std::system_error&) {
      fileRows(data, stride, width, rows.get(), rowBytes, 0, cut);  // no thread to spare
    }
    fileRows(data, stride, width, rows.get(), rowBytes, cut, height);
    if (helper) {
      const auto rest = libdeflateStream(rows.get() + firstBytes, rowsSize - firstBytes, false);
      helper->join();
      if (first && rest) {
        stream.reserve(sizeof kZlibHeader + first->size + rest->size + 4);
        stream.append(kZlibHeader, sizeof kZlibHeader);
        stream += first->view();
        stream += rest->view();
        appendBigEndian(stream, libdeflate_adler32(1, rows.get(), rowsSize));
      }
    }
  } else {
    fileRows(data, stride, width, rows.get(), rowBytes, 0, height);
  }
  std::optional<Compressed> whole;
  if (stream.empty()) {
    whole = libdeflateStream(rows.get(), rowsSize, true);
    if (!whole) return fail("out of memory");
  }
  const std::string_view compressed = whole ? whole->view() : std::string_view(stream);
  const std::size_t size = compressed.size();

  std::string header;
  appendBigEndian(header, static_cast<std::uint32_t>(width));
  appendBigEndian(header, static_cast<std::uint32_t>(height));
  header += {static_cast<char>(kBitDepth), static_cast<char>(kColourTypeRGBA), 0, 0, 0};  // deflate, no interlace

  std::string bytes(kSignature);
  bytes.reserve(kSignature.size() + 25 + size + 12 * (size / kMaxChunkData + 1) + 12);
  appendChunk(bytes, "IHDR", header);
  for (std::size_t at = 0; at < size; at += kMaxChunkData) {
    appendChunk(bytes, "IDAT", compressed.substr(at, kMaxChunkData));
  }
  appendChunk(bytes, "IEND", {});
  return bytes;
}

}  // namespace render
