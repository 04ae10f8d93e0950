#include "platform/render/painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <span>

#include "platform/render/box_blur.h"
#include "platform/render/decoded_images.h"
#include "platform/render/platform_colors.h"
#include "platform/render/symbol_paths.h"

namespace render {
namespace {

void setSource(cairo_t* cr, const ui::Color& color) {
  const Rgba value = rgba(color);
  cairo_set_source_rgba(cr, value.red, value.green, value.blue, value.alpha);
}

double tint(ui::Material material) {
  switch (material) {
    case ui::Material::ultraThin: return 0.25;
    case ui::Material::thin: return 0.4;
    case ui::Material::regular: return 0.5;
    case ui::Material::thick: return 0.6;
    case ui::Material::ultraThick: return 0.7;
  }
  return 0.5;
}

struct Counts {
  int materials = 0;
  int drawn = 0;
};

Counts count(const ui::LayoutResult& layout) {
  Counts counts;
  layout.forEach([&](const ui::PlacedView& view) {
    if (std::holds_alternative<ui::Material>(view.content)) ++counts.materials;
    if (!std::holds_alternative<std::monostate>(view.content)) ++counts.drawn;
  });
  return counts;
}

ui::Rect grown(const ui::Rect& rect, double by) {
  return ui::Rect{rect.x - by, rect.y - by, rect.width + 2 * by, rect.height + 2 * by};
}

}  // namespace

Painter::Painter(const ui::LayoutResult& layout, double scale, PangoTextMeasurer& text, Threads threads)
    : layout_(layout), scale_(scale), threads_(threads), text_(text) {}

std::expected<void, RenderError> Painter::prepare() {
  const Counts counts = count(layout_);
  if (counts.materials > kMaxMaterials) {
    return std::unexpected(RenderError{
        RenderError::Kind::drawing, "the surface holds " + std::to_string(counts.materials) + " materials; at most " +
                                        std::to_string(kMaxMaterials) + " are drawn"});
  }
  if (counts.drawn > kMaxDrawnViews) {
    return std::unexpected(RenderError{RenderError::Kind::drawing, "the surface holds " + std::to_string(counts.drawn) +
                                                                       " views that draw; at most " +
                                                                       std::to_string(kMaxDrawnViews) + " are drawn"});
  }
  std::expected<void, RenderError> result;
  layout_.forEach([&](const ui::PlacedView& view) {
    const auto* picture = std::get_if<ui::PlacedPicture>(&view.content);
    if (picture == nullptr || !result || pictures_.contains(picture->file)) return;
    auto image = decodedPNG(picture->file);
    if (!image) {
      result = std::unexpected(RenderError{RenderError::Kind::image, "image \"" + picture->name + "\": " +
                                                                         picture->file.string() +
                                                                         " cannot be decoded: " + image.error()});
      return;
    }
    pictures_.emplace(picture->file, SurfacePointer(image->release()));
  });
  return result;
}

void Painter::paint(cairo_t* cr) {
  Pass pass;
  paintSurface(cr, pass);
}

void Painter::surfacePath(cairo_t* cr) const {
  const double width = layout_.size.width;
  const double height = layout_.size.height;
  const double limit = std::min(width, height) / 2;
  const ui::CornerRadii& c = layout_.geometry.corners;
  const double topLeading = std::min(c.topLeading, limit);
  const double topTrailing = std::min(c.topTrailing, limit);
  const double bottomTrailing = std::min(c.bottomTrailing, limit);
  const double bottomLeading = std::min(c.bottomLeading, limit);
  constexpr double kQuarter = std::numbers::pi / 2;
  cairo_new_path(cr);
  cairo_move_to(cr, topLeading, 0);
  cairo_arc(cr, width - topTrailing, topTrailing, topTrailing, -kQuarter, 0);
  cairo_arc(cr, width - bottomTrailing, height - bottomTrailing, bottomTrailing, 0, kQuarter);
  cairo_arc(cr, bottomLeading, height - bottomLeading, bottomLeading, kQuarter, 2 * kQuarter);
  cairo_arc(cr, topLeading, topLeading, topLeading, 2 * kQuarter, 3 * kQuarter);
  cairo_close_path(cr);
}

void Painter::paintSurface(cairo_t* cr, Pass& pass) {
  cairo_save(cr);
  surfacePath(cr);
  switch (layout_.geometry.fill) {
    case ui::SurfaceFill::none: break;
    case ui::SurfaceFill::platter:
      cairo_set_source_rgba(cr, 0.11, 0.11, 0.13, 0.78);
      cairo_fill_preserve(cr);
      break;
    case ui::SurfaceFill::black:
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_fill_preserve(cr);
      break;
  }
  cairo_clip(cr);
  for (const ui::PlacedRegion& region : layout_.regions) paintView(cr, region.view, pass);
  cairo_restore(cr);
}

void Painter::paintView(cairo_t* cr, const ui::PlacedView& view, Pass& pass) {
  paintLayers(cr, view, view.modifiers.size(), pass);
}

void Painter::paintLayers(cairo_t* cr, const ui::PlacedView& view, std::size_t count, Pass& pass) {
  if (pass.stopped) return;
  if (count == 0) {
    paintNode(cr, view, pass);
    for (const ui::PlacedView& child : view.children) paintView(cr, child, pass);
    return;
  }
  const ui::PlacedModifier& modifier = view.modifiers[count - 1];
  if (modifier.name == "opacity" && modifier.opacity < 1) {
    // The group is only as large as what the view draws, so that many small faded
    // views cost little.
    const std::optional<ui::Rect> ink = inkBounds(view);
    if (!ink) return;
    cairo_save(cr);
    cairo_rectangle(cr, ink->x, ink->y, ink->width, ink->height);
    cairo_clip(cr);
    cairo_push_group(cr);
    paintLayers(cr, view, count - 1, pass);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, modifier.opacity);
    cairo_restore(cr);
    return;
  }
  if (modifier.name == "background") {
    for (const ui::PlacedView& content : modifier.content) paintView(cr, content, pass);
  }
  paintLayers(cr, view, count - 1, pass);
  if (modifier.name == "overlay") {
    for (const ui::PlacedView& content : modifier.content) paintView(cr, content, pass);
  }
}

void Painter::paintNode(cairo_t* cr, const ui::PlacedView& view, Pass& pass) {
  if (const auto* text = std::get_if<ui::PlacedText>(&view.content)) {
    setSource(cr, text->color);
    for (const ui::PlacedLine& line : text->lines)
      text_.drawLine(cr, line.text, text->font, line.frame.x, line.frame.y);
  } else if (const auto* symbol = std::get_if<ui::PlacedSymbol>(&view.content)) {
    setSource(cr, symbol->color);
    drawSymbol(cr, symbol->name, symbol->glyph);
  } else if (const auto* picture = std::get_if<ui::PlacedPicture>(&view.content)) {
    paintPicture(cr, view, *picture);
  } else if (const auto* color = std::get_if<ui::Color>(&view.content)) {
    setSource(cr, *color);
    cairo_rectangle(cr, view.frame.x, view.frame.y, view.frame.width, view.frame.height);
    cairo_fill(cr);
  } else if (const auto* material = std::get_if<ui::Material>(&view.content)) {
    if (&view == pass.stopAt) {
      pass.stopped = true;
      return;
    }
    paintMaterial(cr, view, *material);
  }
}

void Painter::paintPicture(cairo_t* cr, const ui::PlacedView& view, const ui::PlacedPicture& picture) {
  const auto found = pictures_.find(picture.file);
  if (found == pictures_.end() || view.frame.width <= 0 || view.frame.height <= 0) return;
  cairo_surface_t* image = found->second.get();
  const double pixelsWide = cairo_image_surface_get_width(image);
  const double pixelsHigh = cairo_image_surface_get_height(image);
  if (pixelsWide <= 0 || pixelsHigh <= 0) return;
  const bool tiles = picture.resizing && picture.resizing->resizingMode == ui::ResizingMode::tile;

  cairo_save(cr);
  cairo_rectangle(cr, view.frame.x, view.frame.y, view.frame.width, view.frame.height);
  cairo_clip(cr);
  cairo_translate(cr, view.frame.x, view.frame.y);
  if (!tiles) cairo_scale(cr, view.frame.width / pixelsWide, view.frame.height / pixelsHigh);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_t* pattern = cairo_get_source(cr);
  cairo_pattern_set_extend(pattern, tiles ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
}

void Painter::paintMaterial(cairo_t* cr, const ui::PlacedView& view, const ui::Material& material) {
  const ui::Rect bounds{0, 0, layout_.size.width, layout_.size.height};
  const ui::Rect visible = ui::Rect::intersection(view.frame, bounds);
  if (visible.width <= 0 || visible.height <= 0) return;

  // What lies beneath, with a margin so the blur near the edges has real pixels. It
  // is the same whichever pass draws this material, so it is made once: a backdrop
  // pass draws the materials beneath it again, and would otherwise redo theirs.
  const ui::Rect grab = ui::Rect::intersection(grown(visible, 2 * kMaterialBlurRadius), bounds);
  auto cached = backdrops_.find(&view);
  if (cached == backdrops_.end()) {
    cached = backdrops_.emplace(&view, blurredBackdrop(cr, view, grab)).first;
  }
  cairo_surface_t* backdrop = cached->second.get();
  if (backdrop == nullptr) return;

  cairo_save(cr);
  cairo_rectangle(cr, visible.x, visible.y, visible.width, visible.height);
  cairo_clip(cr);
  cairo_translate(cr, grab.x, grab.y);
  cairo_scale(cr, 1 / scale_, 1 / scale_);
  cairo_set_source_surface(cr, backdrop, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);

  cairo_save(cr);
  cairo_rectangle(cr, visible.x, visible.y, visible.width, visible.height);
  cairo_set_source_rgba(cr, 1, 1, 1, tint(material));
  cairo_fill(cr);
  cairo_restore(cr);
}

std::optional<ui::Rect> Painter::inkBounds(const ui::PlacedView& view) {
  if (const auto known = inks_.find(&view); known != inks_.end()) return known->second;
  std::optional<ui::Rect> ink;
  const auto add = [&](const std::optional<ui::Rect>& rect) {
    if (rect) ink = ink ? ui::Rect::unionOf(*ink, *rect) : *rect;
  };
  if (const auto* text = std::get_if<ui::PlacedText>(&view.content)) {
    // Glyphs may reach a little past their line boxes (accents, overhangs).
    for (const ui::PlacedLine& line : text->lines) add(grown(line.frame, text->font.size * 0.5));
  } else if (!std::holds_alternative<std::monostate>(view.content)) {
    add(grown(view.frame, 1));
  }
  for (const ui::PlacedView& child : view.children) add(inkBounds(child));
  for (const ui::PlacedModifier& modifier : view.modifiers) {
    for (const ui::PlacedView& content : modifier.content) add(inkBounds(content));
  }
  inks_.emplace(&view, ink);
  return ink;
}

namespace {

// Whether what `cr` has drawn so far is the backdrop a pass to `material` would draw:
// the backdrop takes the whole picture, and `cr` draws straight onto an image of that
// size, at the backdrop's scale and without a move. The same drawing, in the same
// order, with the same transformation, on an image of the same size, gives the same
// pixels, so they are copied instead of drawn again.
bool drawsTheBackdrop(cairo_t* cr, int pixelsWide, int pixelsHigh, double scale, const ui::Rect& grab,
                      const ui::Size& size) {
  cairo_surface_t* target = cairo_get_target(cr);
  if (cairo_get_group_target(cr) != target || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32 ||
      cairo_image_surface_get_width(target) != pixelsWide || cairo_image_surface_get_height(target) != pixelsHigh) {
    return false;
  }
  if (grab.x != 0 || grab.y != 0 || grab.width != size.width || grab.height != size.height) return false;
  double dx = 0;
  double dy = 0;
  cairo_surface_get_device_offset(target, &dx, &dy);
  cairo_matrix_t matrix;
  cairo_get_matrix(cr, &matrix);
  return dx == 0 && dy == 0 && matrix.xx == scale && matrix.yy == scale && matrix.xy == 0 && matrix.yx == 0 &&
         matrix.x0 == 0 && matrix.y0 == 0;
}

}  // namespace

Painter::SurfacePointer Painter::blurredBackdrop(cairo_t* cr, const ui::PlacedView& material, const ui::Rect& grab) {
  const int pixelsWide = std::max(1, static_cast<int>(std::ceil(grab.width * scale_)));
  const int pixelsHigh = std::max(1, static_cast<int>(std::ceil(grab.height * scale_)));
  SurfacePointer backdrop(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelsWide, pixelsHigh));
  if (cairo_surface_status(backdrop.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  if (drawsTheBackdrop(cr, pixelsWide, pixelsHigh, scale_, grab, layout_.size)) {
    cairo_surface_t* target = cairo_get_target(cr);
    cairo_surface_flush(target);
    cairo_surface_flush(backdrop.get());
    const int from = cairo_image_surface_get_stride(target);
    const int to = cairo_image_surface_get_stride(backdrop.get());
    for (int y = 0; y < pixelsHigh; ++y) {
      std::memcpy(cairo_image_surface_get_data(backdrop.get()) + static_cast<std::ptrdiff_t>(y) * to,
                  cairo_image_surface_get_data(target) + static_cast<std::ptrdiff_t>(y) * from,
                  static_cast<std::size_t>(pixelsWide) * 4);
    }
  } else {
    cairo_t* under = cairo_create(backdrop.get());
    cairo_scale(under, scale_, scale_);
    cairo_translate(under, -grab.x, -grab.y);
    Pass pass{&material, false};
    paintSurface(under, pass);
    cairo_destroy(under);
  }

  cairo_surface_flush(backdrop.get());
  const int stride = cairo_image_surface_get_stride(backdrop.get());
  std::span<std::uint8_t> pixels(cairo_image_surface_get_data(backdrop.get()),
                                 static_cast<std::size_t>(stride) * static_cast<std::size_t>(pixelsHigh));
  // Three box passes of half-width r spread about as far as a Gaussian of deviation r:
  // half the radius gives a soft blur that keeps the picture's broad shapes.
  const int radius = std::max(1, static_cast<int>(std::lround(kMaterialBlurRadius * scale_ / 2)));
  // While the texts are drawn ahead on the other processor, a helper would only take
  // turns with them, and the two halves of the blur wait for each other at every pass.
  boxBlur(pixels, pixelsWide, pixelsHigh, stride, radius, text_.drawingAhead() ? Threads::callerOnly : threads_);
  cairo_surface_mark_dirty(backdrop.get());
  return backdrop;
}

}  // namespace render
