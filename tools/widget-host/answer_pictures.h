// Answer pictures: the views of an extension's answer drawn as the phone would show
// them, laid out and painted by the host's renderer (the module of
// picture_renderer.h, on platform/render), as the phone's own host does; the
// extension only builds the trees.
//
// An entry's view goes on the small widget; an activity's presentations each on
// their own surface (the lock screen, the expanded Dynamic Island from its regions,
// the compact sides, the minimal one). Texts show the strings the extension showed;
// named images come from the extension's bundle.
//
// The answers come from another process and are not trusted: a result without the
// members the protocol promises, or with a tree that does not read back, means the
// extension broke the protocol (unavailable); a tree that reads but cannot be laid
// out or drawn (an image missing from the bundle, no usable font) is renderFailed.
// Each message names the entry or presentation.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host_error.h"
#include "json_rpc.h"
#include "output_format.h"
#include "picture_renderer.h"

namespace host {

// How to draw: --format png|svg, --scale (pixels per point), and for which phone, text
// size and direction.
struct PictureStyle {
  ImageFormat format = ImageFormat::png;
  int scale = 3;
  ui::Variant variant{};
};

// What draws: the loaded renderer, in that style, with the images of the extension's
// bundle folder (`assets`), which its views name.
struct Drawing {
  PictureRenderer renderer;
  PictureStyle style;
  std::filesystem::path assets;
  bool sideBySide = false;  // drawn at the same time as other pictures, each on its own thread
};

// A drawn view and what it shows: an entry's number ("1", "2", ...) or a presentation's
// name ("lock-screen", "expanded", ...).
struct NamedPicture {
  std::string name;
  Picture picture;
};

// One picture of an answer, found and checked but not drawn yet: its surface and its
// tree, so that the pictures of several answers may be drawn in any order, on any
// thread.
struct PictureToDraw {
  std::string name;  // as the NamedPicture drawn from it is named
  ui::Surface surface;
  Json tree;               // a view, or the regions of an island
  std::string what;        // names it in messages
  std::string unreadable;  // what did not read back, when the tree does not
};

// `picture` drawn in `drawing`'s style.
std::expected<NamedPicture, HostError> drawPicture(const PictureToDraw& picture, const Drawing& drawing);

// The pictures drawEntries draws, in order.
std::expected<std::vector<PictureToDraw>, HostError> entryPictures(const Json& result);

// The pictures drawPresentations draws in `style`, in order; with `asShown`, those of
// drawPresentationsAsShown.
std::expected<std::vector<PictureToDraw>, HostError> presentationPictures(const Json& result, const PictureStyle& style,
                                                                          bool asShown);

// Every entry of a placeholder or snapshot result ("entry") or timeline result
// ("entries"), in order, numbered from 1.
std::expected<std::vector<NamedPicture>, HostError> drawEntries(const Json& result, const Drawing& drawing);

// The compact Dynamic Island as the phone shows it, one shape around the camera, named
// "compact", from an answer of every presentation; none when the answer lacks a
// compact side or the phone has no island.
std::expected<std::optional<NamedPicture>, HostError> drawCompactIsland(const Json& result, const Drawing& drawing);

// drawPresentations, and after them the compact Dynamic Island as the phone shows it,
// one shape around the camera, named "compact" (when the answer has both compact
// sides and the phone has an island).
std::expected<std::vector<NamedPicture>, HostError> drawPresentationsAsShown(const Json& result,
                                                                             const Drawing& drawing);

// An activity answer as drawn for an activity past its stale date: each presentation
// carries a mark over its view's top trailing corner (a "Stale" badge on the lock
// screen; a dot on the Dynamic Island's, which have no room for words), since the extension's
// views do not show staleness themselves. The views' layout does not change.
Json markedStale(const Json& result);

// drawPresentations of the answer markedStale.
std::expected<std::vector<NamedPicture>, HostError> drawStalePresentations(const Json& result, const Drawing& drawing);

// The presentation of an activity result, or each of them for "all"
// ({"presentations": [...]}), in the answer's order; each name at most once. For
// "all" on a phone without a Dynamic Island, only the lock screen's.
std::expected<std::vector<NamedPicture>, HostError> drawPresentations(const Json& result, const Drawing& drawing);

// A picture as written, and what of it does not fit ("PATH: WHAT IS MISSING").
struct WrittenPicture {
  std::filesystem::path file;
  std::vector<std::string> problems;
};

// Prints on standard error one line for each thing that does not fit in the written
// pictures, naming the file; with `strict`, fails (doesNotFit) when there is any.
std::expected<void, HostError> reportProblems(const std::vector<WrittenPicture>& written, bool strict);

}  // namespace host
