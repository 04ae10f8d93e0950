// Render module interface: the one entry point of widget-host's drawing module
// (widget-host-render.so, built from render_module.cpp), which widget-host loads with
// dlopen() only when a picture is asked for. Text and JSON commands never load it, so
// they start without the drawing stack (cairo, pango, fontconfig, glib, ...).
//
// The boundary is plain C and carries only text and numbers: the view tree goes in as
// the JSON text the extension sent, the picture comes out as the encoded file's bytes.
// No C++ object crosses it, so the module carries its own copy of the view layer and
// the two sides never share a heap object or a static.
//
// The entry point's name carries the interface's version; a change to anything below
// is a new version and a new name, so a module of another version is refused when it
// is loaded (its entry point is not found) rather than misread.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

#define TUL_RENDER_MODULE_ENTRY "tul_render_module_v4"
inline constexpr std::uint32_t kTulRenderModuleVersion = 4;

enum TulRenderFormat : int { kTulRenderPNG = 0, kTulRenderSVG = 1 };

enum TulRenderStatus : int {
  kTulRenderDrawn = 0,       // `bytes` holds the encoded picture
  kTulRenderUnreadable = 1,  // the tree's JSON does not read back as a view tree; `bytes` says why
  kTulRenderFailed = 2,      // the tree cannot be laid out or drawn (an image, a font); `bytes` says why
};

struct TulRenderRequest {
  const char* surface;  // a surface's name, as ui::name(Surface) spells it: "small-widget", "expanded", ...
  const char* tree;     // JSON text: the view tree; for "expanded" the array of regions, for
                        // "compact" the regions "leading" and "trailing"
  std::size_t treeSize;
  const char* bundleFolder;  // the extension's bundle, which holds the images its views name
  int format;                // a TulRenderFormat
  int scale;                 // pixels per point, 1 ... 8
  const char* device;        // the phone, as ui::name(Device) spells it ("430", "393", "375"); null: "430"
  const char* textSize;      // the text size, as ui::name(ContentSizeCategory) spells it; null: "large"
  int rightToLeft;           // 1: the texts are in a right-to-left language, and the layout is mirrored
  int threads;               // 0: the picture may be drawn on every processor; 1: on the calling thread
                             // alone (the host draws several pictures side by side)
};

struct TulRenderResult {
  int status;    // a TulRenderStatus
  double width;  // the surface's size in points, when drawn
  double height;
  const char* bytes;  // the picture, or a one-line message; owned by the result
  std::size_t size;
  const char* problems;  // when drawn: what does not fit, one "PATH: WHAT IS MISSING" line each; owned
  std::size_t problemsSize;
};

struct TulCompareRequest {
  const char* expected;  // PNG bytes
  std::size_t expectedSize;
  const char* actual;  // PNG bytes
  std::size_t actualSize;
  int threshold;  // a pixel differs when a channel differs by more than this (0 ... 255)
};

struct TulCompareResult {
  int status;       // kTulRenderDrawn: compared; kTulRenderFailed: `bytes` says why
  int sizesDiffer;  // 1: the pictures' sizes differ, every pixel counts as differing
  int width;        // the expected picture's, in pixels
  int height;
  std::int64_t differing;  // pixels
  std::int64_t total;
  const char* bytes;  // the difference picture (PNG; empty when the sizes differ), or a message; owned
  std::size_t size;
};

struct TulRenderModule {
  std::uint32_t version;  // kTulRenderModuleVersion
  // Lays out and draws one view. Never throws and never returns null; the result is
  // given back with `release`. Safe to call from any thread.
  TulRenderResult* (*draw)(const TulRenderRequest* request);
  void (*release)(TulRenderResult* result);
  // Compares two PNG pictures. Never throws and never returns null; given back with
  // `releaseComparison`.
  TulCompareResult* (*compare)(const TulCompareRequest* request);
  void (*releaseComparison)(TulCompareResult* result);
};

// The entry point, exported by the module under the name TUL_RENDER_MODULE_ENTRY.
using TulRenderModuleEntry = const TulRenderModule* (*)();

}  // extern "C"
