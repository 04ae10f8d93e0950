// widget-host's drawing module: platform::render behind the C entry point of
// render_module_abi.h. Reads the tree back from its JSON, lays it out on its surface
// with real fonts and encodes the picture. Everything but the entry point is hidden
// (see tools/widget-host/CMakeLists.txt), so the module's copy of the view layer never
// mixes with the host's.
#include <exception>
#include <expected>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/render/pango_text_measurer.h"
#include "platform/render/picture_difference.h"
#include "platform/render/render.h"
#include "platform/ui/layout_problems.h"
#include "platform/ui/tree_json_reader.h"
#include "render_module_abi.h"

namespace {

// A result and the bytes it points at, in one allocation that the host gives back.
struct OwnedResult : TulRenderResult {
  std::string owned;
  std::string ownedProblems;
};

TulRenderResult* finished(int status, std::string bytes, double width = 0, double height = 0,
                          std::string problems = {}) {
  auto* result = new OwnedResult{};
  result->owned = std::move(bytes);
  result->ownedProblems = std::move(problems);
  result->status = status;
  result->width = width;
  result->height = height;
  result->bytes = result->owned.data();
  result->size = result->owned.size();
  result->problems = result->ownedProblems.data();
  result->problemsSize = result->ownedProblems.size();
  return result;
}

// What the host sees when even a result cannot be made: a static one, never released.
TulRenderResult kOutOfMemory{kTulRenderFailed, 0, 0, "out of memory", 13, "", 0};

TulRenderResult* failed(std::string message) { return finished(kTulRenderFailed, std::move(message)); }

TulRenderResult* drawn(std::expected<ui::LayoutResult, render::RenderError> layout, render::ImageFormat format,
                       int scale, render::Threads threads) {
  if (!layout) return failed(layout.error().message);
  auto bytes = render::encode(*layout, format, scale, threads);
  if (!bytes) return failed(bytes.error().message);
  std::string problems;
  for (const ui::LayoutProblem& problem : ui::layoutProblems(*layout)) {
    problems += problem.path + ": " + problem.missing + "\n";
  }
  return finished(kTulRenderDrawn, std::move(*bytes), layout->size.width, layout->size.height, std::move(problems));
}

// The named value of `T`, the default for null; none for a name that is no value.
template <typename T>
std::optional<T> named(const char* text, T fallback) {
  return text == nullptr ? std::optional<T>(fallback) : ui::byName<T>(text);
}

TulRenderResult* draw(const TulRenderRequest& request) {
  if (request.format != kTulRenderPNG && request.format != kTulRenderSVG) {
    return failed("unknown picture format " + std::to_string(request.format));
  }
  const auto format = request.format == kTulRenderPNG ? render::ImageFormat::png : render::ImageFormat::svg;
  const std::string_view surfaceName = request.surface == nullptr ? "" : request.surface;
  const std::optional<ui::Surface> surface = ui::byName<ui::Surface>(surfaceName);
  if (!surface) return failed("unknown surface \"" + std::string(surfaceName) + "\"");
  const nlohmann::json tree =
      nlohmann::json::parse(std::string_view(request.tree, request.treeSize), nullptr, /*allow_exceptions=*/false);
  if (tree.is_discarded()) return finished(kTulRenderUnreadable, "not JSON");
  const std::optional<ui::Device> device = named(request.device, ui::Device::width430);
  if (!device) return failed("unknown phone \"" + std::string(request.device) + "\"");
  const std::optional<ui::ContentSizeCategory> textSize = named(request.textSize, ui::ContentSizeCategory::large);
  if (!textSize) return failed("unknown text size \"" + std::string(request.textSize) + "\"");
  const ui::Variant variant{
      *device, *textSize,
      request.rightToLeft == 1 ? ui::LayoutDirection::rightToLeft : ui::LayoutDirection::leftToRight};
  const ui::Bundle assets(request.bundleFolder == nullptr ? "" : request.bundleFolder);
  const render::Threads threads = request.threads == 1 ? render::Threads::callerOnly : render::Threads::every;
  if (*surface == ui::Surface::islandExpanded) {
    auto regions = render::regionsFromJSON(tree);
    if (!regions) return finished(kTulRenderUnreadable, regions.error().message);
    return drawn(render::layOut(*regions, assets, variant, threads), format, request.scale, threads);
  }
  if (*surface == ui::Surface::islandCompact) {
    auto sides = render::regionsFromJSON(tree);
    if (!sides) return finished(kTulRenderUnreadable, sides.error().message);
    const auto side = [&](ui::ExpandedRegionPosition position) -> const ui::View* {
      for (const ui::ExpandedRegion& region : *sides) {
        if (region.position == position) return &region.view;
      }
      return nullptr;
    };
    const ui::View* leading = side(ui::ExpandedRegionPosition::leading);
    const ui::View* trailing = side(ui::ExpandedRegionPosition::trailing);
    if (sides->size() != 2 || leading == nullptr || trailing == nullptr) {
      return finished(kTulRenderUnreadable, "the compact island takes one leading and one trailing view");
    }
    return drawn(render::layOutCompactIsland(*leading, *trailing, assets, variant, threads), format, request.scale,
                 threads);
  }
  auto view = ui::fromJSON(tree);
  if (!view) return finished(kTulRenderUnreadable, view.error().describe());
  return drawn(render::layOut(*view, *surface, assets, variant, threads), format, request.scale, threads);
}

TulRenderResult* drawEntry(const TulRenderRequest* request) {
  if (request == nullptr) return failed("no request");
  try {
    return draw(*request);
  } catch (const std::bad_alloc&) {
    return &kOutOfMemory;
  } catch (const std::exception& error) {
    try {
      return failed(std::string("internal error: ") + error.what());
    } catch (...) {
      return &kOutOfMemory;
    }
  } catch (...) {
    return &kOutOfMemory;
  }
}

void releaseEntry(TulRenderResult* result) {
  if (result == nullptr || result == &kOutOfMemory) return;
  delete static_cast<OwnedResult*>(result);
}

// A comparison and the bytes it points at, in one allocation.
struct OwnedComparison : TulCompareResult {
  std::string owned;
};

TulCompareResult kComparisonOutOfMemory{kTulRenderFailed, 0, 0, 0, 0, 0, "out of memory", 13};

TulCompareResult* compared(int status, std::string bytes, const render::PictureDifference& difference = {}) {
  auto* result = new OwnedComparison{};
  result->owned = std::move(bytes);
  result->status = status;
  result->sizesDiffer = difference.sizesDiffer ? 1 : 0;
  result->width = difference.width;
  result->height = difference.height;
  result->differing = difference.differing;
  result->total = difference.total;
  result->bytes = result->owned.data();
  result->size = result->owned.size();
  return result;
}

TulCompareResult* compareEntry(const TulCompareRequest* request) {
  try {
    if (request == nullptr) return compared(kTulRenderFailed, "no request");
    auto difference = render::comparePNG(std::string_view(request->expected, request->expectedSize),
                                         std::string_view(request->actual, request->actualSize), request->threshold);
    if (!difference) return compared(kTulRenderFailed, difference.error().message);
    std::string picture = std::move(difference->picture);
    return compared(kTulRenderDrawn, std::move(picture), *difference);
  } catch (...) {
    return &kComparisonOutOfMemory;
  }
}

void releaseComparisonEntry(TulCompareResult* result) {
  if (result == nullptr || result == &kComparisonOutOfMemory) return;
  delete static_cast<OwnedComparison*>(result);
}

constexpr TulRenderModule kModule{kTulRenderModuleVersion, drawEntry, releaseEntry, compareEntry,
                                  releaseComparisonEntry};

}  // namespace

// The host loads the module before it asks the extension for what to draw; the fonts
// are prepared meanwhile.
extern "C" __attribute__((visibility("default"))) const TulRenderModule* tul_render_module_v4() {
  render::PangoTextMeasurer::prepareInBackground();
  return &kModule;
}
