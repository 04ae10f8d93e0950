// encodePNG: a cairo image surface (ARGB32, premultiplied) as the bytes of an 8-bit
// RGBA PNG file, its colours unpremultiplied as cairo's own PNG writer does, so that a
// picture reads back with the same pixels.
//
// The compression is set for speed: libdeflate's fastest level over unfiltered rows
// (on these pictures, flat fills, text and a blurred photograph, that gives smaller
// files, and sooner, than rows filtered by the row above or the pixel before). cairo's
// writer leaves libpng's defaults (zlib level 6, every filter tried on every row),
// which cost more than drawing the picture. The file (signature, IHDR, IDAT, IEND) is
// written here, as libpng writes only through zlib, at half libdeflate's speed.
#pragma once

#include <cairo.h>

#include <expected>
#include <string>

#include "platform/render/render_error.h"
#include "platform/render/threads.h"

namespace render {

std::expected<std::string, RenderError> encodePNG(cairo_surface_t* surface, Threads threads = Threads::every);

}  // namespace render
