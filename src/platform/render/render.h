// Render: pictures of what the phone shows for a view tree, as PNG or SVG files. The
// widget host's entry point to layout (platform/ui/layout.h) with real fonts and to
// drawing (painter.h).
//
//   auto tree = ui::fromJSON(answer["entry"]["view"]);                  // the protocol's TREE
//   render::renderToFile(*tree, render::Surface::smallWidget, render::ImageFormat::png,
//                        3, ui::Bundle(extensionBundleDir), "widget.png");
//
// Texts read back from JSON show the string the extension showed; texts of trees built
// in this process are looked up in `assets` (language "en"). Named images (the
// "background" asset) are found in `assets` unless they name their own bundle.
//
// A picture is `scale` pixels per point (a 170 × 170 widget at scale 3 is 510 × 510
// pixels; sizes are rounded to whole pixels); an SVG's width and height are given in
// those pixels too. Files are written atomically (foundation/atomic_file.h): a failure leaves no
// partial file, and an existing file is replaced only with foundation::Overwrite::replace.
//
// Every call is independent and may run on any thread; each makes its own font map.
#pragma once

#include <expected>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/atomic_file.h"
#include "platform/render/render_error.h"
#include "platform/render/threads.h"
#include "platform/ui/bundle.h"
#include "platform/ui/layout.h"
#include "platform/ui/layout_result.h"
#include "platform/ui/layout_surface.h"
#include "platform/ui/variant.h"
#include "platform/ui/view.h"

namespace render {

using ui::ExpandedRegion;
using ui::ExpandedRegionPosition;
using ui::Surface;

enum class ImageFormat { png, svg };

// "png", "svg".
std::string_view name(ImageFormat format);
std::optional<ImageFormat> imageFormatNamed(std::string_view name);

inline constexpr double kMinScale = 0.25;
inline constexpr double kMaxScale = 8;

// The layout of `view` on `surface` of the variant's phone, at its text size, text
// measured with the real font. For Surface::islandExpanded the view is the center
// region; use the regions overload for the whole island. The images the views show are
// decoded meanwhile, on a second thread when `threads` allows it, for the drawing.
std::expected<ui::LayoutResult, RenderError> layOut(const ui::View& view, Surface surface, const ui::Bundle& assets,
                                                    ui::Variant variant = {}, Threads threads = Threads::every);
// The expanded Dynamic Island from its regions (each position at most once).
std::expected<ui::LayoutResult, RenderError> layOut(std::span<const ExpandedRegion> regions, const ui::Bundle& assets,
                                                    ui::Variant variant = {}, Threads threads = Threads::every);

// The compact island as one shape, from its two sides.
std::expected<ui::LayoutResult, RenderError> layOutCompactIsland(const ui::View& leading, const ui::View& trailing,
                                                                 const ui::Bundle& assets, ui::Variant variant = {},
                                                                 Threads threads = Threads::every);

// The regions of an expanded presentation as the protocol gives them, `[{"position":
// "leading", "priority": 0, "view": TREE}, ...]`, read back (ui::fromJSON for each
// view). The error names the JSON path ("regions[1].view.children[0]: ...").
std::expected<std::vector<ExpandedRegion>, RenderError> regionsFromJSON(const nlohmann::json& regions);

// Draws a laid-out surface and returns the encoded file; `threads` says whether the
// drawing may use a second thread.
std::expected<std::string, RenderError> encode(const ui::LayoutResult& layout, ImageFormat format, double scale,
                                               Threads threads = Threads::every);

// Lays `view` out on `surface`, draws it and writes the picture to `out`.
std::expected<void, RenderError> renderToFile(const ui::View& view, Surface surface, ImageFormat format, double scale,
                                              const ui::Bundle& assets, const std::filesystem::path& out,
                                              foundation::Overwrite overwrite = foundation::Overwrite::refuse);
// The same for the expanded Dynamic Island, from its regions.
std::expected<void, RenderError> renderToFile(std::span<const ExpandedRegion> regions, ImageFormat format, double scale,
                                              const ui::Bundle& assets, const std::filesystem::path& out,
                                              foundation::Overwrite overwrite = foundation::Overwrite::refuse);
// Draws an already laid-out surface to `out`.
std::expected<void, RenderError> renderToFile(const ui::LayoutResult& layout, ImageFormat format, double scale,
                                              const std::filesystem::path& out,
                                              foundation::Overwrite overwrite = foundation::Overwrite::refuse);

}  // namespace render
