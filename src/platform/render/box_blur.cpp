#include "platform/render/box_blur.h"

#include <algorithm>
#include <array>
#include <barrier>
#include <cstdint>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  // The eight means of the sums in `sums`, in the low eight bytes.
  __m128i operator()(__m128i sums) const {
    const __m128i quotients = _mm_srl_epi16(_mm_mulhi_epu16(_mm_add_epi16(sums, half), multiplier), count);
    return _mm_packus_epi16(quotients, quotients);
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

// Two rows of the same length blurred at once, the first's four channels in the low
// lanes and the second's in the high ones: one chain of running sums serves two rows.
// The rows are copied interleaved, pixel by pixel, so that one load brings the pixel of
// both. The same sums and quotients as blurRowInLanes, lane for lane.
void blurRowPairInLanes(std::uint8_t* first, std::uint8_t* second, int count, int radius,
                        std::vector<std::uint8_t>& line, const LaneDivider& divide) {
  line.resize(static_cast<std::size_t>(count) * 8);
  std::uint8_t* pairs = line.data();
  for (int i = 0; i < count; ++i) {
    std::copy_n(first + i * 4, 4, pairs + i * 8);
    std::copy_n(second + i * 4, 4, pairs + i * 8 + 4);
  }
  const int lastIndex = count - 1;
  const auto pixels = [&](int index) { return widened(pairs + index * 8, 8); };
  __m128i sum = _mm_setzero_si128();
  for (int k = -radius; k <= radius; ++k) sum = _mm_add_epi16(sum, pixels(std::clamp(k, 0, lastIndex)));
  for (int i = 0; i < count; ++i) {
    const __m128i means = divide(sum);
    const int meanA = _mm_cvtsi128_si32(means);
    const int meanB = _mm_cvtsi128_si32(_mm_srli_si128(means, 4));
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&meanA), 4, first + i * 4);
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&meanB), 4, second + i * 4);
    sum = _mm_add_epi16(sum, pixels(std::min(i + radius + 1, lastIndex)));
    sum = _mm_sub_epi16(sum, pixels(std::max(i - radius, 0)));
  }
}

void blurColumnsInLanes(std::uint8_t* pixels, int width, int height, int stride, int radius, KeptRows& rows,
                        std::vector<std::uint16_t>& sums, const LaneDivider& divide) {
  rows.start(pixels, width, height, stride, radius);
  const std::size_t rowBytes = rows.rowBytes;  // a multiple of 4: the last lanes may hold 4 bytes
  sums.assign(rowBytes + 4, 0);
  const auto lanes = [&](std::size_t i) { return reinterpret_cast<__m128i*>(sums.data() + i); };
  const auto width8 = [&](std::size_t i) { return i + 8 <= rowBytes ? 8 : 4; };
  for (int k = -radius; k <= radius; ++k) {
    const std::uint8_t* in = rows.original(k, -1);
    for (std::size_t i = 0; i < rowBytes; i += 8) {
      _mm_storeu_si128(lanes(i), _mm_add_epi16(_mm_loadu_si128(lanes(i)), widened(in + i, width8(i))));
    }
  }
  for (int y = 0; y < height; ++y) {
    rows.keep(y);
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    const std::uint8_t* entering = rows.original(y + radius + 1, y);
    const std::uint8_t* leaving = rows.original(y - radius, y);
    for (std::size_t i = 0; i < rowBytes; i += 8) {
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
    line.reserve(static_cast<std::size_t>(width) * 8);  // two rows
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
      for (; y + 1 < y1; y += 2) blurRowPairInLanes(rowAt(y), rowAt(y + 1), width, radius, worker.line, lanes);
      if (y < y1) blurRowInLanes(rowAt(y), width, radius, worker.line, lanes);
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
    std::optional<std::thread> helper;
    try {
      helper.emplace(share, 1);
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
