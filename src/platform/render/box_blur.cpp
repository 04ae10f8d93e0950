#include "platform/render/box_blur.h"

#include <algorithm>
#include <array>
#include <vector>

namespace render {
namespace {

constexpr int kPasses = 3;

// One pass over `count` pixels starting at `first`, `step` bytes apart: each channel
// becomes the mean of the 2·radius+1 values around it (edges repeated).
void blurLine(std::uint8_t* first, int count, std::ptrdiff_t step, int radius, std::vector<std::uint8_t>& line) {
  line.resize(static_cast<std::size_t>(count) * 4);
  std::uint8_t* copy = line.data();
  for (int i = 0; i < count; ++i) std::copy_n(first + i * step, 4, copy + i * 4);
  const unsigned window = static_cast<unsigned>(2 * radius + 1);
  const int lastIndex = count - 1;
  std::array<unsigned, 4> sum{};
  for (int k = -radius; k <= radius; ++k) {
    const std::uint8_t* pixel = copy + std::clamp(k, 0, lastIndex) * 4;
    for (int c = 0; c < 4; ++c) sum[static_cast<std::size_t>(c)] += pixel[c];
  }
  for (int i = 0; i < count; ++i) {
    std::uint8_t* out = first + i * step;
    const std::uint8_t* entering = copy + std::min(i + radius + 1, lastIndex) * 4;
    const std::uint8_t* leaving = copy + std::max(i - radius, 0) * 4;
    for (int c = 0; c < 4; ++c) {
      unsigned& channel = sum[static_cast<std::size_t>(c)];
      out[c] = static_cast<std::uint8_t>((channel + window / 2) / window);
      channel += entering[c];
      channel -= leaving[c];
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
  for (int pass = 0; pass < kPasses; ++pass) {
    for (int y = 0; y < height; ++y)
      blurLine(pixels.data() + static_cast<std::ptrdiff_t>(y) * stride, width, 4, radius, line);
    for (int x = 0; x < width; ++x)
      blurLine(pixels.data() + static_cast<std::ptrdiff_t>(x) * 4, height, stride, radius, line);
  }
}

}  // namespace render
