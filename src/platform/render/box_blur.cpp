#include "platform/render/box_blur.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace render {
namespace {

constexpr int kPasses = 3;

// n / window, exactly, for every n a window of bytes can sum to (with the rounding
// half): a multiply and a shift, which the compiler can run on many bytes at once.
struct Divider {
  explicit Divider(unsigned window) : reciprocal((std::uint64_t{1} << 32) / window + 1) {}
  std::uint8_t operator()(unsigned n) const { return static_cast<std::uint8_t>((n * reciprocal) >> 32); }
  std::uint64_t reciprocal;
};

// One horizontal pass over a row of `count` pixels: each channel becomes the mean of
// the 2·radius+1 values around it (edges repeated).
void blurRow(std::uint8_t* row, int count, int radius, std::vector<std::uint8_t>& line) {
  line.assign(row, row + static_cast<std::ptrdiff_t>(count) * 4);
  const std::uint8_t* copy = line.data();
  const unsigned window = static_cast<unsigned>(2 * radius + 1);
  const Divider divide(window);
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
      out[c] = divide(channel + window / 2);
      channel += entering[c];
      channel -= leaving[c];
    }
  }
}

// One vertical pass, the same mean down every column, done a whole row at a time so
// that memory is read in order: a running sum per byte of a row, over a copy of the
// picture's rows.
void blurColumns(std::uint8_t* pixels, int width, int height, int stride, int radius, std::vector<std::uint8_t>& rows,
                 std::vector<unsigned>& sum) {
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  rows.resize(rowBytes * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    std::copy_n(pixels + static_cast<std::ptrdiff_t>(y) * stride, rowBytes,
                rows.data() + rowBytes * static_cast<std::size_t>(y));
  }
  const auto row = [&](int y) {
    return rows.data() + rowBytes * static_cast<std::size_t>(std::clamp(y, 0, height - 1));
  };
  const unsigned window = static_cast<unsigned>(2 * radius + 1);
  const Divider divide(window);
  sum.assign(rowBytes, 0);
  for (int k = -radius; k <= radius; ++k) {
    const std::uint8_t* in = row(k);
    for (std::size_t i = 0; i < rowBytes; ++i) sum[i] += in[i];
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    const std::uint8_t* entering = row(y + radius + 1);
    const std::uint8_t* leaving = row(y - radius);
    for (std::size_t i = 0; i < rowBytes; ++i) {
      out[i] = divide(sum[i] + window / 2);
      sum[i] += entering[i];
      sum[i] -= leaving[i];
    }
  }
}

}  // namespace

void boxBlur(std::span<std::uint8_t> pixels, int width, int height, int stride, int radius) {
  if (radius < 1 || width <= 0 || height <= 0) return;
  if (pixels.size() <
      static_cast<std::size_t>(stride) * static_cast<std::size_t>(height - 1) + static_cast<std::size_t>(width) * 4) {
    return;
  }
  std::vector<std::uint8_t> line;
  std::vector<std::uint8_t> rows;
  std::vector<unsigned> sums;
  for (int pass = 0; pass < kPasses; ++pass) {
    for (int y = 0; y < height; ++y)
      blurRow(pixels.data() + static_cast<std::ptrdiff_t>(y) * stride, width, radius, line);
    blurColumns(pixels.data(), width, height, stride, radius, rows, sums);
  }
}

}  // namespace render
