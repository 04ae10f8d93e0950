// keepLargeBlocksInHeap: malloc's setting for the programs that draw (widget-host and
// the live host, and the bench drivers that draw as they do). A picture's buffers
// (its surface, the material's backdrop, the decoded images, the rows of its PNG) are a
// megabyte or more each, and malloc gives blocks that large mappings of their own,
// returned at free(): every picture faulted in fresh zeroed pages for them, and two
// threads drawing side by side took turns at the process's mappings. So the large
// blocks stay in malloc's heap for the next picture to reuse. The live host, which
// runs for days, does the same: it draws on whichever of its server's threads took
// the request, and with a heap per thread each kept its own leftovers; one heap holds
// one drawing's worth, and its resident size is lower for it.
//
// The heap's first megabytes are also offered to the kernel for huge pages, and every
// thread allocates from that one heap. A cold picture touches some 6 MiB of fresh
// buffers. On the virtual machines this runs on, the first touch of a 4 KiB page can
// cost 10 µs, a fault the guest takes and often one its host takes too: 1,500 of them
// are about 15 ms. A huge page is one fault for 2 MiB. Where the kernel has no huge
// page to give, it gives small pages as before. The cost is in the tail: on a machine
// whose host backs a huge page lazily, its first touch sometimes stalls, at worst for
// tens of milliseconds, and one heap makes threads that allocate at once wait for its
// lock.
#pragma once

#include <malloc.h>
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace host {

inline void keepLargeBlocksInHeap() {
  constexpr std::size_t kMiB = 1024 * 1024;
  mallopt(M_MMAP_THRESHOLD, 32 * kMiB);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 64 * kMiB);
  // One heap for every thread: a drawing thread's heap of its own would start with
  // small pages again.
  mallopt(M_ARENA_MAX, 1);
  // The heap grown by what a gallery's pictures use at once, given back to malloc at
  // once (the trim threshold keeps it), its 2 MiB-aligned part marked for huge pages.
  constexpr std::size_t kHugeHeap = 24 * kMiB;
  constexpr std::uintptr_t kHugePage = 2 * kMiB;
  void* block = std::malloc(kHugeHeap);
  if (block == nullptr) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t from = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t to = (start + kHugeHeap) & ~(kHugePage - 1);
  if (to <= from) {
    std::free(block);
    return;
  }
  ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // a hint: failure is harmless
  std::free(block);
  // What the program allocates next comes from where the block began, below the first
  // huge page: up to 2 MiB of small pages, which the many small blocks of a cold start
  // (the libraries' types, font patterns, answers) would fault in one by one, some 400
  // faults. A block kept over that part (allocated once, never touched past its first
  // page, so never resident) puts them on the huge pages too.
  static void* const belowHugePages = std::malloc(from - start);
  static_cast<void>(belowHugePages);
}

}  // namespace host
