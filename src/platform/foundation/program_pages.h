// Handing back the pages of the program's and its libraries' files that a process
// has mapped in: their code, read-only data and symbol tables.
//
// Every page of a mapped file that a process has touched counts in its resident size,
// however long ago it was used. A long-running process that has done its one-off work
// (the dynamic linker's relocations and symbol lookups, start-up code, a first
// request's set-up) can give those pages back; the next use of any of them maps it
// again from the page cache, so nothing is lost but a page fault. Only pages no one
// has written are given back: writable segments (among them those the dynamic linker
// makes read-only once it has relocated them) and objects whose code it patched are
// left alone.
//
// Unmapping costs the kernel about a microsecond a resident page, up to a
// millisecond in all: it is for moments when the process has nothing else to do, or
// for once.
#pragma once

#include <cstddef>

namespace foundation {

// Unmaps from this process the clean file pages of every loaded object (not the
// kernel's vDSO). Returns how many bytes of address space were unmapped; whatever of
// them was resident is no longer. Safe at any time, from any thread.
std::size_t releaseProgramPages();

}  // namespace foundation
