// decodePNG: the bytes of a PNG file as a cairo image surface, with the same format,
// pixels and attached PNG data as cairo's own reader gives (RGB24 for a file without
// alpha, else ARGB32 premultiplied as cairo rounds).
//
// The files this renderer meets (the bundle's pictures, its own PNGs) are 8-bit RGB or
// RGBA, not interlaced; those are read here, inflated by libdeflate, at over twice the
// speed of cairo's reader, which goes through libpng and zlib and spends most of its
// time in zlib. Every other kind of file, and any file that is not sound in every
// chunk checked here (CRC, sizes, the amount of image data), goes to cairo's reader,
// which decodes it or reports why it cannot.
#pragma once

#include <string_view>

#include "platform/render/decoded_images.h"

namespace render {

// A surface whose status is cairo's error for bytes that are no PNG it can read.
ImageSurface decodePNG(std::string_view bytes);

}  // namespace render
