#include "platform/render/box_blur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace render {
namespace {

struct Picture {
  int width;
  int height;
  std::vector<std::uint8_t> pixels;

  Picture(int w, int h, std::uint8_t fill) : width(w), height(h), pixels(static_cast<std::size_t>(w * h * 4), fill) {}
  std::uint8_t* at(int x, int y) { return pixels.data() + (static_cast<std::ptrdiff_t>(y) * width + x) * 4; }
};

TEST(BoxBlur, SpreadsDetailAndKeepsFlatAreas) {
  const struct {
    std::string name;
    int radius;
    bool dotSpreads;
  } cases[] = {
      {"no radius changes nothing", 0, false},
      {"a small radius spreads a dot", 1, true},
      {"a wider radius spreads it further", 3, true},
      {"a radius wider than the picture", 40, true},
  };
  for (const auto& c : cases) {
    Picture flat(9, 7, 200);
    boxBlur(flat.pixels, flat.width, flat.height, flat.width * 4, c.radius);
    EXPECT_TRUE(std::ranges::all_of(flat.pixels, [](std::uint8_t v) { return v == 200; })) << c.name;

    Picture dot(9, 9, 0);
    std::fill_n(dot.at(4, 4), 4, 255);
    boxBlur(dot.pixels, dot.width, dot.height, dot.width * 4, c.radius);
    const int centre = dot.at(4, 4)[0];
    const int beside = dot.at(5, 4)[0];
    const int total = std::accumulate(dot.pixels.begin(), dot.pixels.end(), 0);
    if (!c.dotSpreads) {
      EXPECT_EQ(centre, 255) << c.name;
      EXPECT_EQ(beside, 0) << c.name;
      continue;
    }
    EXPECT_LT(centre, 255) << c.name;
    EXPECT_LT(total, 4 * 255 * 2) << c.name << ": the blur spreads light, it does not add it";
    if (c.radius >= 9) continue;  // spread so thin that rounding leaves nothing
    EXPECT_GT(beside, 0) << c.name;
    EXPECT_LE(beside, centre) << c.name;
    // The blur is symmetric: the four neighbours agree.
    EXPECT_EQ(dot.at(3, 4)[0], beside) << c.name;
    EXPECT_EQ(dot.at(4, 3)[0], beside) << c.name;
    EXPECT_EQ(dot.at(4, 5)[0], beside) << c.name;
  }
}

TEST(BoxBlur, RespectsRowStrideAndIgnoresTooSmallBuffers) {
  // Rows padded to 12 pixels: the padding is never touched.
  const int width = 10;
  const int stride = 12 * 4;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * 5), 0);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < width; ++x) pixels[static_cast<std::size_t>(y * stride + x * 4)] = x < 5 ? 255 : 0;
    std::fill_n(pixels.begin() + y * stride + width * 4, stride - width * 4, 77);
  }
  boxBlur(pixels, width, 5, stride, 2);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(pixels[static_cast<std::size_t>(y * stride + width * 4)], 77);
    EXPECT_GE(pixels[static_cast<std::size_t>(y * stride)], 240);  // the edge repeats, so it stays bright
    EXPECT_GT(pixels[static_cast<std::size_t>(y * stride + 5 * 4)], 0);
  }
  std::vector<std::uint8_t> small(8, 9);
  boxBlur(small, 4, 4, 16, 2);  // claims more pixels than it holds
  EXPECT_TRUE(std::ranges::all_of(small, [](std::uint8_t v) { return v == 9; }));
}

}  // namespace
}  // namespace render
