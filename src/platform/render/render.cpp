#include "platform/render/render.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/render/decoded_images.h"
#include "platform/render/painter.h"
#include "platform/render/pango_text_measurer.h"
#include "platform/render/png_encoder.h"
#include "platform/ui/tree_json_reader.h"

namespace render {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using SurfacePointer = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPointer = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::expected<void, RenderError> checkScale(double scale) {
  if (std::isfinite(scale) && scale >= kMinScale && scale <= kMaxScale) return {};
  return std::unexpected(RenderError{RenderError::Kind::argument, "scale " + std::to_string(scale) + " is outside " +
                                                                      std::to_string(kMinScale) + " ... " +
                                                                      std::to_string(kMaxScale)});
}

int pixels(double points, double scale) { return std::max(1, static_cast<int>(std::lround(points * scale))); }

RenderError layoutError(const ui::LayoutError& error) {
  const bool image =
      error.kind == ui::LayoutError::Kind::missingImage || error.kind == ui::LayoutError::Kind::unreadableImage;
  return RenderError{image ? RenderError::Kind::image : RenderError::Kind::layout,
                     "cannot lay out the view: " + error.describe()};
}

// The PNG files the views show, to decode while they are laid out (the layout needs
// only their sizes; the painter needs their pixels). A file that cannot be found is
// left for the layout and the painter to report.
std::vector<std::filesystem::path> imagesOf(std::span<const ui::View* const> roots, const ui::Bundle& assets) {
  constexpr std::size_t kMostFiles = 16;  // far more than a widget shows; bounds a hostile tree
  const std::optional<ui::Bundle> given(assets);
  std::vector<std::filesystem::path> files;
  for (const ui::View* root : roots) {
    ui::forEachView(*root, [&](const ui::View& view) {
      const auto* image = view.as<ui::Image>();
      const auto* asset = image == nullptr ? nullptr : std::get_if<ui::NamedImage>(&image->source());
      if (asset == nullptr || files.size() >= kMostFiles) return;
      const std::optional<ui::Bundle>& bundle = ui::bundleFor(*asset, given);
      if (!bundle) return;
      std::optional<std::filesystem::path> file = bundle->pathForImage(asset->name);
      if (file && std::find(files.begin(), files.end(), *file) == files.end()) files.push_back(std::move(*file));
    });
  }
  return files;
}

ui::LayoutContext contextFor(PangoTextMeasurer& measurer, const ui::Bundle& assets, ui::Variant variant = {}) {
  return ui::LayoutContext{measurer, ui::Localizer{assets, "en"}, assets, variant};
}

// What `layOut` (const ui::LayoutContext& -> std::expected<ui::LayoutResult,
// ui::LayoutError>) lays out with this thread's measurer, while the images that the
// views under `roots` show are decoded for the drawing.
template <typename LayOut>
std::expected<ui::LayoutResult, RenderError> laidOut(std::span<const ui::View* const> roots, const ui::Bundle& assets,
                                                     ui::Variant variant, Threads threads, LayOut layOut) {
  ImagesDecodedAhead images(imagesOf(roots, assets), maySplit(threads));
  auto measurer = PangoTextMeasurer::forThisThread();
  if (!measurer) return std::unexpected(measurer.error());
  auto result = layOut(contextFor(**measurer, assets, variant));
  images.keep();
  if (!result) return std::unexpected(layoutError(result.error()));
  return std::move(*result);
}

// Every line of text the layout shows, in drawing order.
std::vector<PangoTextMeasurer::Line> linesOf(const ui::LayoutResult& layout) {
  std::vector<PangoTextMeasurer::Line> lines;
  layout.forEach([&](const ui::PlacedView& view) {
    const auto* text = std::get_if<ui::PlacedText>(&view.content);
    if (text == nullptr) return;
    for (const ui::PlacedLine& line : text->lines) lines.push_back({line.text, text->font, line.frame.width});
  });
  return lines;
}

std::expected<std::string, RenderError> draw(const ui::LayoutResult& layout, ImageFormat format, double scale,
                                             PangoTextMeasurer& text, Threads threads = Threads::every) {
  if (auto valid = checkScale(scale); !valid) return std::unexpected(valid.error());
  const int width = pixels(layout.size.width, scale);
  const int height = pixels(layout.size.height, scale);
  // A picture drawn alone gets its texts ready on the other processor while its
  // pictures are decoded and its backgrounds and materials drawn.
  if (format == ImageFormat::png && maySplit(threads)) {
    text.drawAhead(linesOf(layout), width / layout.size.width, height / layout.size.height);
  }
  Painter painter(layout, scale, text, threads);
  if (auto prepared = painter.prepare(); !prepared) return std::unexpected(prepared.error());

  std::string bytes;
  SurfacePointer surface;
  if (format == ImageFormat::png) {
    surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  } else {
    surface.reset(cairo_svg_surface_create_for_stream(appendBytes, &bytes, width, height));
    cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_PX);
  }
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(RenderError{
        RenderError::Kind::drawing,
        std::string("cannot make a drawing surface: ") + cairo_status_to_string(cairo_surface_status(surface.get()))});
  }
  {
    ContextPointer cr(cairo_create(surface.get()));
    // Exact pixel sizes come from rounding; the points scale to fill them.
    cairo_scale(cr.get(), width / layout.size.width, height / layout.size.height);
    painter.paint(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
      return std::unexpected(
          RenderError{RenderError::Kind::drawing,
                      std::string("drawing failed: ") + cairo_status_to_string(cairo_status(cr.get()))});
    }
  }
  if (format == ImageFormat::png) {
    return encodePNG(surface.get(), threads);
  } else {
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
      return std::unexpected(RenderError{
          RenderError::Kind::drawing,
          std::string("cannot encode SVG: ") + cairo_status_to_string(cairo_surface_status(surface.get()))});
    }
  }
  return bytes;
}

std::expected<void, RenderError> write(const std::string& bytes, const std::filesystem::path& out,
                                       foundation::Overwrite overwrite) {
  auto written = foundation::writeFileAtomically(out, bytes, overwrite);
  if (!written) return std::unexpected(RenderError{RenderError::Kind::output, written.error()});
  return {};
}

}  // namespace

std::string_view name(ImageFormat format) { return format == ImageFormat::png ? "png" : "svg"; }

std::optional<ImageFormat> imageFormatNamed(std::string_view name) {
  if (name == "png") return ImageFormat::png;
  if (name == "svg") return ImageFormat::svg;
  return std::nullopt;
}

std::expected<ui::LayoutResult, RenderError> layOut(const ui::View& view, Surface surface, const ui::Bundle& assets,
                                                    ui::Variant variant, Threads threads) {
  const ui::View* roots[] = {&view};
  return laidOut(roots, assets, variant, threads,
                 [&](const ui::LayoutContext& context) { return ui::layOut(view, surface, context); });
}

std::expected<ui::LayoutResult, RenderError> layOut(std::span<const ExpandedRegion> regions, const ui::Bundle& assets,
                                                    ui::Variant variant, Threads threads) {
  std::vector<const ui::View*> roots;
  for (const ExpandedRegion& region : regions) roots.push_back(&region.view);
  return laidOut(roots, assets, variant, threads,
                 [&](const ui::LayoutContext& context) { return ui::layOutExpandedIsland(regions, context); });
}

std::expected<ui::LayoutResult, RenderError> layOutCompactIsland(const ui::View& leading, const ui::View& trailing,
                                                                 const ui::Bundle& assets, ui::Variant variant,
                                                                 Threads threads) {
  const ui::View* roots[] = {&leading, &trailing};
  return laidOut(roots, assets, variant, threads,
                 [&](const ui::LayoutContext& context) { return ui::layOutCompactIsland(leading, trailing, context); });
}

std::expected<std::vector<ExpandedRegion>, RenderError> regionsFromJSON(const nlohmann::json& regions) {
  const auto fail = [](const std::string& path, const std::string& message) {
    return std::unexpected(RenderError{RenderError::Kind::argument, path + ": " + message});
  };
  if (!regions.is_array()) return fail("regions", "expected an array of regions");
  std::vector<ExpandedRegion> out;
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const std::string path = "regions[" + std::to_string(i) + "]";
    const nlohmann::json& region = regions[i];
    if (!region.is_object()) return fail(path, "expected a region object");
    for (const auto& [key, value] : region.items()) {
      if (key != "position" && key != "priority" && key != "view") return fail(path + "." + key, "unexpected member");
    }
    const auto position = region.find("position");
    if (position == region.end() || !position->is_string()) return fail(path + ".position", "expected a position name");
    const auto named = ui::byName<ui::ExpandedRegionPosition>(position->get<std::string>());
    if (!named) {
      return fail(path + ".position", "unknown position \"" + position->get<std::string>() +
                                          "\" (expected leading, trailing, center or bottom)");
    }
    if (const auto priority = region.find("priority"); priority != region.end() && !priority->is_number()) {
      return fail(path + ".priority", "expected a number");
    }
    const auto view = region.find("view");
    if (view == region.end()) return fail(path + ".view", "missing");
    auto read = ui::fromJSON(*view);
    if (!read) {
      const std::string inner = read.error().path.size() > 1 ? read.error().path.substr(1) : "";
      return fail(path + ".view" + inner, read.error().message);
    }
    out.push_back(ExpandedRegion{*named, std::move(*read)});
  }
  return out;
}

std::expected<std::string, RenderError> encode(const ui::LayoutResult& layout, ImageFormat format, double scale,
                                               Threads threads) {
  auto measurer = PangoTextMeasurer::forThisThread();
  if (!measurer) return std::unexpected(measurer.error());
  return draw(layout, format, scale, **measurer, threads);
}

std::expected<void, RenderError> renderToFile(const ui::View& view, Surface surface, ImageFormat format, double scale,
                                              const ui::Bundle& assets, const std::filesystem::path& out,
                                              foundation::Overwrite overwrite) {
  if (auto valid = checkScale(scale); !valid) return valid;
  auto measurer = PangoTextMeasurer::forThisThread();
  if (!measurer) return std::unexpected(measurer.error());
  auto layout = ui::layOut(view, surface, contextFor(**measurer, assets));
  if (!layout) return std::unexpected(layoutError(layout.error()));
  auto bytes = draw(*layout, format, scale, **measurer);
  if (!bytes) return std::unexpected(bytes.error());
  return write(*bytes, out, overwrite);
}

std::expected<void, RenderError> renderToFile(std::span<const ExpandedRegion> regions, ImageFormat format, double scale,
                                              const ui::Bundle& assets, const std::filesystem::path& out,
                                              foundation::Overwrite overwrite) {
  if (auto valid = checkScale(scale); !valid) return valid;
  auto measurer = PangoTextMeasurer::forThisThread();
  if (!measurer) return std::unexpected(measurer.error());
  auto layout = ui::layOutExpandedIsland(regions, contextFor(**measurer, assets));
  if (!layout) return std::unexpected(layoutError(layout.error()));
  auto bytes = draw(*layout, format, scale, **measurer);
  if (!bytes) return std::unexpected(bytes.error());
  return write(*bytes, out, overwrite);
}

std::expected<void, RenderError> renderToFile(const ui::LayoutResult& layout, ImageFormat format, double scale,
                                              const std::filesystem::path& out, foundation::Overwrite overwrite) {
  auto bytes = encode(layout, format, scale);
  if (!bytes) return std::unexpected(bytes.error());
  return write(*bytes, out, overwrite);
}

}  // namespace render
