// encodePNG: a cairo image surface (ARGB32, premultiplied) as the bytes of an 8-bit
// RGBA PNG file, its colours unpremultiplied as cairo's own PNG writer does, so that a
// picture reads back with the same pixels.
//
// The compression is set for speed: zlib's fastest level and one fixed row filter, where
// cairo's writer leaves libpng's defaults (level 6, every filter tried on every row),
// which cost more than drawing the picture. The files are somewhat larger.
#pragma once

#include <cairo.h>

#include <expected>
#include <string>

#include "platform/render/render_error.h"

namespace render {

std::expected<std::string, RenderError> encodePNG(cairo_surface_t* surface);

}  // namespace render
