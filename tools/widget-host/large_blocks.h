// keepLargeBlocksInHeap: malloc's setting for a widget-host command. A picture's buffers
// (its surface, the material's backdrop, the rows of its PNG) are a megabyte or more
// each, and malloc gives blocks that large mappings of their own, returned at free():
// every picture faulted in fresh zeroed pages for them, and two threads drawing side by
// side took turns at the process's mappings. A command runs once and exits, so its
// large blocks stay in malloc's heaps for the next picture to reuse. The live host,
// which runs for days, leaves malloc as it is.
#pragma once

#include <malloc.h>

namespace host {

inline void keepLargeBlocksInHeap() {
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

}  // namespace host
