// keepLargeBlocksInHeap: malloc's setting for a widget-host command. A picture's buffers
// (its surface, the material's backdrop, the decoded images, the rows of its PNG) are a
// megabyte or more each, and malloc gives blocks that large mappings of their own,
// returned at free(): every picture faulted in fresh zeroed pages for them, and two
// threads drawing side by side took turns at the process's mappings. A command runs
// once and exits, so its large blocks stay in malloc's heaps for the next picture to
// reuse. The live host, which runs for days, leaves malloc as it is.
//
// Neither huge pages nor a single heap for every thread are asked for. On the virtual
// machines this runs on, a huge page is often memory the machine has never touched,
// which its host then backs page by page: a first touch of 16 MiB took from 2 to 72
// ms. And with one heap, the threads that draw side by side wait for its lock.
#pragma once

#include <malloc.h>

#include <cstddef>

namespace host {

inline void keepLargeBlocksInHeap() {
  constexpr std::size_t kMiB = 1024 * 1024;
  mallopt(M_MMAP_THRESHOLD, 32 * kMiB);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 64 * kMiB);
}

}  // namespace host
