// PangoTextMeasurer: text measured and drawn with pango in the face "Inter", the
// TextMeasurer a real picture is laid out with. Sizes are in points (pango at 72 dpi)
// and hinting is off, so widths do not depend on the scale a picture is drawn at and
// the lines the layout chose are the lines drawn.
//
// Holds its own pango font map and context, and caches fonts and metrics: use one
// instance from one thread at a time. Movable, not copyable. forThisThread() gives the
// calling thread's own instance, kept until the thread ends, so that pictures drawn one
// after another load their fonts once; when the thread ends, its instance is kept for
// the next thread that draws, which then starts with those fonts loaded.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/render/render_error.h"
#include "platform/ui/text_measurer.h"

namespace render {

inline constexpr std::string_view kFontFamily = "Inter";

class PangoTextMeasurer final : public ui::TextMeasurer {
 public:
  // Fails when the face "Inter" is not installed (Debian: fonts-inter).
  static std::expected<PangoTextMeasurer, RenderError> create();
  // The calling thread's instance: at its first call, one an ended thread left, or the
  // one prepareInBackground() made (waited for if need be), or else a new one. A
  // failure to make it is returned at every call.
  static std::expected<PangoTextMeasurer*, RenderError> forThisThread();
  // Makes, on a thread of its own, the measurer the first thread to draw will take, so
  // that a process that will draw soon can do other work meanwhile. Once per process;
  // the process waits for it at exit.
  static void prepareInBackground();
  // How many measurers this process has made so far; each loaded its fonts anew.
  static std::size_t made();

  PangoTextMeasurer(PangoTextMeasurer&&) noexcept;
  PangoTextMeasurer& operator=(PangoTextMeasurer&&) noexcept;
  ~PangoTextMeasurer() override;

  ui::FontMetrics metrics(const ui::ResolvedFont& font) override;
  double width(std::string_view utf8, const ui::ResolvedFont& font) override;

  // How many characters of `utf8` no font the renderer sees can draw (each would show
  // as a box).
  int missingGlyphs(std::string_view utf8, const ui::ResolvedFont& font);

  // Draws one line of text with the source set on `cr`, the top of its line box at
  // (x, y) in user space.
  void drawLine(cairo_t* cr, std::string_view utf8, const ui::ResolvedFont& font, double x, double y);

  // A line that a drawing will show.
  struct Line {
    std::string text;
    ui::ResolvedFont font;
    double width = 0;  // in points, as laid out
  };
  // Draws `lines`, on a thread of its own, as a drawing whose user space is scaled by
  // (xScale, yScale) to its pixels would draw them, onto a picture that is thrown
  // away: their fonts are then loaded, their shaping done and their glyphs rendered
  // at that scale, in caches the drawing finds. The first picture a process draws
  // spends much of its time on that, and the caller can meanwhile draw what needs no
  // text. Every other call on this measurer waits for it to finish. Only for the
  // measurer's first drawing: after it, most of what the next one needs is cached.
  // Without a thread to spare, it does nothing.
  void drawAhead(std::vector<Line> lines, double xScale, double yScale);
  // Whether the thread drawAhead() started is still drawing, and so busy on a
  // processor of its own.
  bool drawingAhead() const;

 private:
  struct State;
  explicit PangoTextMeasurer(std::unique_ptr<State> state);
  // Waits for what drawAhead() started.
  State& settled();

  std::unique_ptr<State> state_;
};

}  // namespace render
