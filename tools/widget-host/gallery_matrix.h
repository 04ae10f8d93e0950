// Gallery matrix: the gallery's pictures for every phone, text size and language at
// once (`widget-host gallery --matrix`), in one folder whose index.html shows one row
// per variant and marks every picture in which something does not fit, with the list
// beside it (gallery_page.h).
//
// Per language the extension is asked once for the widget's placeholder, snapshot and
// timeline and for every presentation of the "playing" activity state; the answers do
// not depend on the phone or the text size, which are the host's. Every variant is
// then drawn from those answers, on as many threads as the machine has cores. Each
// row shows the three widget pictures, the lock screen, the expanded island, the
// compact island as one shape and the minimal one (a phone without an island shows
// the first four). Files are "<locale>-<phone>-<text size>-<picture>.<format>", e.g.
// "ar-393-AX2-widget-timeline.png".
//
// Written as the gallery is: all drawn before anything is written, nothing written
// when anything fails.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "answer_pictures.h"
#include "extension_session.h"
#include "gallery.h"
#include "host_error.h"
#include "picture_renderer.h"
#include "platform/ui/variant.h"

namespace host {

struct MatrixOptions {
  GalleryFolder where;
  ImageFormat format = ImageFormat::png;
  int scale = 3;
  std::vector<ui::Device> devices;                 // empty: every phone
  std::vector<ui::ContentSizeCategory> textSizes;  // empty: every text size
  std::vector<std::string> locales;                // empty: every language the extension has
  unsigned threads = 0;                            // 0: one per core
};

// The languages drawn when none is given: those the extension's bundle has strings for.
inline constexpr const char* kMatrixLocales[] = {"en", "de", "ar", "ja"};

std::expected<std::string, HostError> matrixCommand(const ExtensionOptions& extension, const MatrixOptions& options,
                                                    const PictureRenderer& renderer);

}  // namespace host
