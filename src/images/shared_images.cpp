#include "images/shared_images.h"

namespace tul {

// Function-local statics are initialised exactly once, even under concurrent first
// calls; afterwards they are only read.

const ui::Image& playImage() {
  static const ui::Image image = ui::Image::systemName("play.fill");
  return image;
}

const ui::Image& pauseImage() {
  static const ui::Image image = ui::Image::systemName("pause.fill");
  return image;
}

}  // namespace tul
