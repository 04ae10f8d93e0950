// Painter: draws a laid-out surface (ui::LayoutResult) with cairo. It knows no layout
// rule: it fills the surface's shape (nothing for a widget, a translucent dark platter
// for the lock screen, black for the Dynamic Island), clips to it, and draws every view
// where the layout put it: backgrounds under their view, overlays over it, opacity as a
// group painted at that alpha, colours as fills, pictures stretched (or tiled) into
// their frame, symbols as shapes (symbol_paths.h), texts line by line.
//
// A material is a frosted layer: what lies under it on the surface is drawn again into
// a raster at the picture's scale, blurred (box_blur.h, about 25 pixels at 3×, the
// same in points at every scale) and put back inside the material's frame under a
// white tint (40 % for thin). This works alike on PNG and SVG targets; in an SVG the
// frosted layer is an embedded raster. A surface may hold at most kMaxMaterials.
//
// One Painter draws one layout; it borrows the layout and the text measurer and is
// used from one thread.
#pragma once

#include <cairo.h>

#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "platform/render/pango_text_measurer.h"
#include "platform/render/render_error.h"
#include "platform/render/threads.h"
#include "platform/ui/layout_result.h"

namespace render {

inline constexpr int kMaxMaterials = 8;
// Views that draw something (texts, symbols, pictures, fills); bounds the work for a
// hostile tree, far above what a widget shows.
inline constexpr int kMaxDrawnViews = 2000;
// The material's blur radius in points: 25 pixels on a 3× screen.
inline constexpr double kMaterialBlurRadius = 25.0 / 3.0;

class Painter {
 public:
  // `threads` says whether its blurs may use a second thread.
  Painter(const ui::LayoutResult& layout, double scale, PangoTextMeasurer& text, Threads threads = Threads::every);

  // Loads the pictures the layout shows; fails naming a file that cannot be decoded
  // as PNG, or when the surface holds too many materials or drawn views. Call before
  // paint().
  std::expected<void, RenderError> prepare();

  // Draws the surface onto `cr`, whose user space is in points (the caller scales by
  // the picture's scale).
  void paint(cairo_t* cr);

 private:
  struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  };
  using SurfacePointer = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

  // One drawing of the surface; a backdrop pass stops at its material.
  struct Pass {
    const ui::PlacedView* stopAt = nullptr;
    bool stopped = false;
  };

  void paintSurface(cairo_t* cr, Pass& pass);
  void paintView(cairo_t* cr, const ui::PlacedView& view, Pass& pass);
  void paintLayers(cairo_t* cr, const ui::PlacedView& view, std::size_t count, Pass& pass);
  void paintNode(cairo_t* cr, const ui::PlacedView& view, Pass& pass);
  void paintPicture(cairo_t* cr, const ui::PlacedView& view, const ui::PlacedPicture& picture);
  void paintMaterial(cairo_t* cr, const ui::PlacedView& view, const ui::Material& material);
  // The area `view` draws in, with everything inside it; none when it draws nothing.
  std::optional<ui::Rect> inkBounds(const ui::PlacedView& view);
  // What the surface shows under `material` within `grab`, blurred, at the scale.
  SurfacePointer blurredBackdrop(cairo_t* cr, const ui::PlacedView& material, const ui::Rect& grab);
  void surfacePath(cairo_t* cr) const;

  const ui::LayoutResult& layout_;
  double scale_;
  Threads threads_;
  PangoTextMeasurer& text_;
  std::map<std::filesystem::path, SurfacePointer> pictures_;
  std::map<const ui::PlacedView*, SurfacePointer> backdrops_;
  std::map<const ui::PlacedView*, std::optional<ui::Rect>> inks_;
};

}  // namespace render
