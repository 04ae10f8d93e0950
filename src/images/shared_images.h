// The extension's process-wide symbol images: `playImage` ("play.fill") and
// `pauseImage` ("pause.fill").
//
// Each is built once, on first use, under a thread-safe once-only guard, and never
// changed; every use gets the same instance. The home-screen widget shows playImage;
// the Live Activity shows both.
#pragma once

#include "platform/ui/image.h"

namespace tul {

const ui::Image& playImage();
const ui::Image& pauseImage();

}  // namespace tul
