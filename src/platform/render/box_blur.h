// Box blur: softens a picture held in memory, as the platform's materials soften what
// lies beneath them. Three passes of a box filter across and three down approach a
// Gaussian blur; pixels past the edges repeat the edge, so the border does not darken.
//
// Works on 32-bit pixels with premultiplied alpha (cairo's ARGB32 and RGB24), each of
// the four bytes blurred on its own, which keeps the premultiplied invariant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/render/threads.h"

namespace render {

// Blurs `pixels` (`height` rows of `width` pixels, rows `stride` bytes apart) in place
// with a box of `radius` pixels on each side per pass. A radius below 1, or an image
// with no pixels, leaves it unchanged. The same bytes however many threads it uses.
void boxBlur(std::span<std::uint8_t> pixels, int width, int height, int stride, int radius,
             Threads threads = Threads::every);

}  // namespace render
