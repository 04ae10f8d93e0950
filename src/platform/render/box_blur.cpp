#include "platform/render/box_blur.h"

#include <algorithm>
#include <array>
#include <barrier>
#include <cstdint>
#include <optional>
#include <system_error>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/foundation/helper_thread.h"

namespace render {
namespace {

constexpr int kPasses = 3;

// The rounded mean of a window, (n + window/2) / window, exactly, for every n a window
// of bytes can sum to: a multiply by a 32-bit reciprocal and a shift.
struct Divider {
  explicit Divider(unsigned window) : reciprocal((std::uint64_t{1} << 32) / window + 1), half(window / 2) {}
  std::uint8_t operator()(unsigned n) const { return static_cast<std::uint8_t>(((n + half) * reciprocal) >> 32); }
  std::uint64_t reciprocal;
  unsigned half;
};

// One horizontal pass over a row of `count` pixels: each channel becomes the mean of
// the 2·radius+1 values around it (edges repeated).
void blurRow(std::uint8_t* row, int count, int radius, std::vector<std::uint8_t>& line) {
  line.assign(row, row + static_cast<std::ptrdiff_t>(count) * 4);
  const std::uint8_t* copy = line.data();
  const Divider divide(static_cast<unsigned>(2 * radius + 1));
  const int lastIndex = count - 1;
  std::array<unsigned, 4> sum{};
  for (int k = -radius; k <= radius; ++k) {
    const std::uint8_t* pixel = copy + std::clamp(k, 0, lastIndex) * 4;
    for (int c = 0; c < 4; ++c) sum[static_cast<std::size_t>(c)] += pixel[c];
  }
  for (int i = 0; i < count; ++i) {
    std::uint8_t* out = row + i * 4;
    const std::uint8_t* entering = copy + std::min(i + radius + 1, lastIndex) * 4;
    const std::uint8_t* leaving = copy + std::max(i - radius, 0) * 4;
    for (int c = 0; c < 4; ++c) {
      unsigned& channel = sum[static_cast<std::size_t>(c)];
      out[c] = divide(channel);
      channel += entering[c];
      channel -= leaving[c];
    }
  }
}

// The rows of a vertical pass as they were before it: the pass writes row y once it has
// its sums, and reads it again (as the row leaving the window) until row y + radius, so
// it keeps the last radius + 1 rows it overwrote, in turn; the rows below it reads from
// the picture itself, which the pass has not reached yet.
struct KeptRows {
  // Room for `radius` + 1 rows of `width` pixels, starting a pass over `pixels`.
  void start(const std::uint8_t* pixels, int width, int height, int stride, int radius) {
    picture = pixels;
    pictureStride = stride;
    rowBytes = static_cast<std::size_t>(width) * 4;
    lastRow = height - 1;
    slots = radius + 1;
    bytes.resize(rowBytes * static_cast<std::size_t>(slots));
  }
  // Keeps row y before the pass writes it.
  void keep(int y) { std::copy_n(picture + static_cast<std::ptrdiff_t>(y) * pictureStride, rowBytes, slot(y)); }
  // Row y (clamped to the picture) before the pass began: kept when the pass has written
  // it, from the picture otherwise.
  const std::uint8_t* original(int y, int writtenThrough) {
    y = std::clamp(y, 0, lastRow);
    if (y <= writtenThrough) return slot(y);
    return picture + static_cast<std::ptrdiff_t>(y) * pictureStride;
  }
  std::uint8_t* slot(int y) { return bytes.data() + rowBytes * static_cast<std::size_t>(y % slots); }

  std::vector<std::uint8_t> bytes;
  const std::uint8_t* picture = nullptr;
  int pictureStride = 0;
  std::size_t rowBytes = 0;
  int lastRow = 0;
  int slots = 1;
};

// One vertical pass, the same mean down every column, done a whole row at a time so
// that memory is read in order: a running sum per byte of a row.
void blurColumns(std::uint8_t* pixels, int width, int height, int stride, int radius, KeptRows& rows,
                 std::vector<unsigned>& sum) {
  rows.start(pixels, width, height, stride, radius);
  const std::size_t rowBytes = rows.rowBytes;
  const Divider divide(static_cast<unsigned>(2 * radius + 1));
  sum.assign(rowBytes, 0);
  for (int k = -radius; k <= radius; ++k) {
    const std::uint8_t* in = rows.original(k, -1);
    for (std::size_t i = 0; i < rowBytes; ++i) sum[i] += in[i];
  }
  for (int y = 0; y < height; ++y) {
    rows.keep(y);
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    const std::uint8_t* entering = rows.original(y + radius + 1, y);
    const std::uint8_t* leaving = rows.original(y - radius, y);
    for (std::size_t i = 0; i < rowBytes; ++i) {
      out[i] = divide(sum[i]);
      sum[i] += entering[i];
      sum[i] -= leaving[i];
    }
  }
}

#if defined(__SSE2__)
// The same passes with the sums in 16-bit lanes, eight bytes at a time: the quotient
// is the high half of a 16-bit product, shifted. With k = 16 + shift, the reciprocal
// m = 2^k / window + 1 and its error e = m·window − 2^k, the quotient is exact whenever
// the largest rounded sum times e stays under 2^k; `exact` says whether it does for a
// window (it does for every window up to 127 pixels). The results are those of
// Divider, byte for byte.
struct LaneDivider {
  explicit LaneDivider(unsigned window) {
    unsigned shift = 0;
    while ((2U << shift) <= window) ++shift;  // 2^shift <= window < 2^(shift+1)
    const std::uint64_t power = std::uint64_t{1} << (16 + shift);
    const std::uint64_t reciprocal = power / window + 1;
    const std::uint64_t largest = 255ULL * window + window / 2;
    exact = reciprocal <= 0xFFFF && largest <= 0xFFFF && largest * (reciprocal * window - power) < power;
    multiplier = _mm_set1_epi16(static_cast<short>(reciprocal));
    half = _mm_set1_epi16(static_cast<short>(window / 2));
    count = _mm_cvtsi32_si128(static_cast<int>(shift));
  }
  // The eight means of the sums in `sums`, one a 16-bit lane.
  __m128i quotients(__m128i sums) const {
    return _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(sums, half), multiplier), count);
  }
  // The same eight means as bytes, in the low eight bytes.
  __m128i operator()(__m128i sums) const {
    const __m128i eight = quotients(sums);
    return _mm_packus_epi16(eight, eight);
  }
  __m128i multiplier;
  __m128i half;
  __m128i count;
  bool exact = false;
};

__m128i widened(const std::uint8_t* bytes, int n) {
  const __m128i zero = _mm_setzero_si128();
  if (n == 4) {
    std::int32_t word = 0;
    std::copy_n(bytes, 4, reinterpret_cast<std::uint8_t*>(&word));
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero);
  }
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)), zero);
}

void blurRowInLanes(std::uint8_t* row, int count, int radius, std::vector<std::uint8_t>& line,
                    const LaneDivider& divide) {
  line.assign(row, row + static_cast<std::ptrdiff_t>(count) * 4);
  const std::uint8_t* copy = line.data();
  const int lastIndex = count - 1;
  __m128i sum = _mm_setzero_si128();  // the four channels in the low four lanes
  for (int k = -radius; k <= radius; ++k) sum = _mm_add_epi16(sum, widened(copy + std::clamp(k, 0, lastIndex) * 4, 4));
  for (int i = 0; i < count; ++i) {
    const int mean = _mm_cvtsi128_si32(divide(sum));
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&mean), 4, row + i * 4);
    sum = _mm_add_epi16(sum, widened(copy + std::min(i + radius + 1, lastIndex) * 4, 4));
    sum = _mm_sub_epi16(sum, widened(copy + std::max(i - radius, 0) * 4, 4));
  }
}

// The 4 × 4 block of 32-bit pixels in a, b, c, d (four pixels of four rows) turned
// about its diagonal: four pixels of four rows become one pixel of each, four times.
void transpose(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  const __m128i ab0 = _mm_unpacklo_epi32(a, b);
  const __m128i ab1 = _mm_unpackhi_epi32(a, b);
  const __m128i cd0 = _mm_unpacklo_epi32(c, d);
  const __m128i cd1 = _mm_unpackhi_epi32(c, d);
  a = _mm_unpacklo_epi64(ab0, cd0);
  b = _mm_unpackhi_epi64(ab0, cd0);
  c = _mm_unpacklo_epi64(ab1, cd1);
  d = _mm_unpackhi_epi64(ab1, cd1);
}

// Four rows of the same length blurred at once: each pixel of the four held in one
// register, the first two rows' sums in one register of lanes and the last two's in
// another, so that the two chains of additions run side by side. The rows are copied
// interleaved, and the means written back, four pixels at a time. The same sums and
// quotients as blurRowInLanes, lane for lane.
void blurRowQuadInLanes(std::uint8_t* const rows[4], int count, int radius, std::vector<std::uint8_t>& line,
                        const LaneDivider& divide) {
  line.resize(static_cast<std::size_t>(count) * 16);
  std::uint8_t* quads = line.data();  // pixel i of the four rows at quads + 16·i
  const auto load = [](const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  const auto store = [](std::uint8_t* at, __m128i value) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value); };
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i a = load(rows[0] + i * 4), b = load(rows[1] + i * 4), c = load(rows[2] + i * 4), d = load(rows[3] + i * 4);
    transpose(a, b, c, d);
    store(quads + i * 16, a);
    store(quads + i * 16 + 16, b);
    store(quads + i * 16 + 32, c);
    store(quads + i * 16 + 48, d);
  }
  for (; i < count; ++i) {
    for (int r = 0; r < 4; ++r) std::copy_n(rows[r] + i * 4, 4, quads + i * 16 + r * 4);
  }
  const int lastIndex = count - 1;
  const __m128i zero = _mm_setzero_si128();
  const auto pixels = [&](int index) { return load(quads + index * 16); };
  __m128i first = _mm_setzero_si128();
  __m128i second = _mm_setzero_si128();
  for (int k = -radius; k <= radius; ++k) {
    const __m128i four = pixels(std::clamp(k, 0, lastIndex));
    first = _mm_add_epi16(first, _mm_unpacklo_epi8(four, zero));
    second = _mm_add_epi16(second, _mm_unpackhi_epi8(four, zero));
  }
  const auto step = [&](int at) {
    const __m128i means = _mm_packus_epi16(divide.quotients(first), divide.quotients(second));
    const __m128i in = pixels(std::min(at + radius + 1, lastIndex));
    const __m128i gone = pixels(std::max(at - radius, 0));
    first = _mm_sub_epi16(_mm_add_epi16(first, _mm_unpacklo_epi8(in, zero)), _mm_unpacklo_epi8(gone, zero));
    second = _mm_sub_epi16(_mm_add_epi16(second, _mm_unpackhi_epi8(in, zero)), _mm_unpackhi_epi8(gone, zero));
    return means;
  };
  i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i a = step(i), b = step(i + 1), c = step(i + 2), d = step(i + 3);
    transpose(a, b, c, d);
    store(rows[0] + i * 4, a);
    store(rows[1] + i * 4, b);
    store(rows[2] + i * 4, c);
    store(rows[3] + i * 4, d);
  }
  for (; i < count; ++i) {
    alignas(16) std::uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), step(i));
    for (int r = 0; r < 4; ++r) std::copy_n(bytes + r * 4, 4, rows[r] + i * 4);
  }
}

void blurColumnsInLanes(std::uint8_t* pixels, int width, int height, int stride, int radius, KeptRows& rows,
                        std::vector<std::uint16_t>& sums, const LaneDivider& divide) {
  rows.start(pixels, width, height, stride, radius);
  const std::size_t rowBytes = rows.rowBytes;  // a multiple of 4: the last lanes may hold 4 bytes
  sums.assign(rowBytes + 4, 0);
  const auto lanes = [&](std::size_t i) { return reinterpret_cast<__m128i*>(sums.data() + i); };
  const auto width8 = [&](std::size_t i) { return i + 8 <= rowBytes ? 8 : 4; };
  // Sixteen bytes a step while sixteen remain, then eight or four.
  const std::size_t whole = rowBytes & ~std::size_t{15};
  for (int k = -radius; k <= radius; ++k) {
    const std::uint8_t* in = rows.original(k, -1);
    for (std::size_t i = 0; i < rowBytes; i += 8) {
      _mm_storeu_si128(lanes(i), _mm_add_epi16(_mm_loadu_si128(lanes(i)), widened(in + i, width8(i))));
    }
  }
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < height; ++y) {
    rows.keep(y);
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    const std::uint8_t* entering = rows.original(y + radius + 1, y);
    const std::uint8_t* leaving = rows.original(y - radius, y);
    std::size_t i = 0;
    for (; i < whole; i += 16) {
      const __m128i low = _mm_loadu_si128(lanes(i));
      const __m128i high = _mm_loadu_si128(lanes(i + 8));
      const __m128i quotientsLow = divide.quotients(low);
      const __m128i quotientsHigh = divide.quotients(high);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(quotientsLow, quotientsHigh));
      const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entering + i));
      const __m128i gone = _mm_loadu_si128(reinterpret_cast<const __m128i*>(leaving + i));
      _mm_storeu_si128(lanes(i),
                       _mm_sub_epi16(_mm_add_epi16(low, _mm_unpacklo_epi8(in, zero)), _mm_unpacklo_epi8(gone, zero)));
      _mm_storeu_si128(lanes(i + 8),
                       _mm_sub_epi16(_mm_add_epi16(high, _mm_unpackhi_epi8(in, zero)), _mm_unpackhi_epi8(gone, zero)));
    }
    for (; i < rowBytes; i += 8) {
      const int n = width8(i);
      const __m128i sum = _mm_loadu_si128(lanes(i));
      const __m128i means = divide(sum);
      if (n == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), means);
      } else {
        const int four = _mm_cvtsi128_si32(means);
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&four), 4, out + i);
      }
      _mm_storeu_si128(lanes(i), _mm_sub_epi16(_mm_add_epi16(sum, widened(entering + i, n)), widened(leaving + i, n)));
    }
  }
}
#endif

// What one worker of a blur keeps between its passes, sized before the passes start so
// that no pass allocates (a worker that failed midway would leave its partner waiting).
struct Worker {
  // For rows of `width` pixels, columns `share` pixels wide and a blur of `radius`.
  void reserve(int width, int share, int radius) {
    line.reserve(static_cast<std::size_t>(width) * 16);  // four rows
    const std::size_t rowBytes = static_cast<std::size_t>(share) * 4;
    rows.bytes.reserve(rowBytes * static_cast<std::size_t>(radius + 1));
    wideSums.reserve(rowBytes);
    laneSums.reserve(rowBytes + 4);
  }
  std::vector<std::uint8_t> line;
  KeptRows rows;
  std::vector<unsigned> wideSums;
  std::vector<std::uint16_t> laneSums;
};

// The picture and the blur's parameters, and the two kinds of pass over a share of it:
// rows from y0 to y1, and every row's pixels from x0 to x1 (columns are independent of
// one another, so a share of them is a narrower picture with the same stride).
struct Blur {
  std::uint8_t* pixels;
  int width;
  int height;
  int stride;
  int radius;
#if defined(__SSE2__)
  LaneDivider lanes;
#endif

  void rowPass(Worker& worker, int y0, int y1) const {
    const auto rowAt = [&](int y) { return pixels + static_cast<std::ptrdiff_t>(y) * stride; };
    int y = y0;
#if defined(__SSE2__)
    if (lanes.exact) {
      for (; y + 3 < y1; y += 4) {
        std::uint8_t* const four[4] = {rowAt(y), rowAt(y + 1), rowAt(y + 2), rowAt(y + 3)};
        blurRowQuadInLanes(four, width, radius, worker.line, lanes);
      }
      for (; y < y1; ++y) blurRowInLanes(rowAt(y), width, radius, worker.line, lanes);
      return;
    }
#endif
    for (; y < y1; ++y) blurRow(rowAt(y), width, radius, worker.line);
  }
  void columnPass(Worker& worker, int x0, int x1) const {
    std::uint8_t* first = pixels + static_cast<std::ptrdiff_t>(x0) * 4;
#if defined(__SSE2__)
    if (lanes.exact) {
      blurColumnsInLanes(first, x1 - x0, height, stride, radius, worker.rows, worker.laneSums, lanes);
      return;
    }
#endif
    blurColumns(first, x1 - x0, height, stride, radius, worker.rows, worker.wideSums);
  }
};

// Pictures from this many pixels up are blurred by two threads when the machine has a
// second processor: below it, starting the thread costs more than it saves.
constexpr long kSplitPixels = 256L * 256L;

}  // namespace

void boxBlur(std::span<std::uint8_t> pixels, int width, int height, int stride, int radius, Threads threads) {
  if (radius < 1 || width <= 0 || height <= 0) return;
  if (pixels.size() <
      static_cast<std::size_t>(stride) * static_cast<std::size_t>(height - 1) + static_cast<std::size_t>(width) * 4) {
    return;
  }
  const Blur blur{pixels.data(), width, height, stride, radius
#if defined(__SSE2__)
                  ,
                  LaneDivider(static_cast<unsigned>(2 * radius + 1))
#endif
  };
  std::array<Worker, 2> workers;
  const bool split = static_cast<long>(width) * height >= kSplitPixels && maySplit(threads);
  if (split) {
    for (Worker& worker : workers) worker.reserve(width, width - width / 2, radius);
    // Each thread takes half the rows, then half the columns, and waits for the other at
    // the end of every pass, as each pass reads what the one before wrote.
    std::barrier passDone(2);
    const auto share = [&](int part) {
      const int y0 = part * (height / 2);
      const int y1 = part == 0 ? height / 2 : height;
      const int x0 = part * (width / 2);
      const int x1 = part == 0 ? width / 2 : width;
      for (int pass = 0; pass < kPasses; ++pass) {
        blur.rowPass(workers[static_cast<std::size_t>(part)], y0, y1);
        passDone.arrive_and_wait();
        blur.columnPass(workers[static_cast<std::size_t>(part)], x0, x1);
        passDone.arrive_and_wait();
      }
    };
    std::optional<foundation::HelperThread> helper;
    try {
      helper.emplace([&share] { share(1); });
    } catch (const std::system_error&) {
      // No thread to spare: blurred on this one alone, below.
    }
    if (helper) {
      share(0);
      helper->join();
      return;
    }
  }
  for (int pass = 0; pass < kPasses; ++pass) {
    blur.rowPass(workers[0], 0, height);
    blur.columnPass(workers[0], 0, width);
  }
}

}  // namespace render
