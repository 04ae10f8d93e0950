// render::Threads: how many threads the drawing of one picture may use. A picture
// drawn alone may hand half of its blur and of its compression to a second thread; one
// of several pictures drawn side by side (the gallery, the matrix) keeps to the thread
// that draws it, as every processor is busy already and a helper would only take turns
// with the other pictures.
#pragma once

#include <thread>

namespace render {

enum class Threads { every, callerOnly };

// Whether a step of one picture may start a second thread: not for a picture that
// keeps to its thread, nor on a machine with one processor.
inline bool maySplit(Threads threads) {
  return threads == Threads::every && std::thread::hardware_concurrency() > 1;
}

}  // namespace render
