#include "platform/foundation/program_pages.h"

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

namespace foundation {

namespace {

// Whether the dynamic linker wrote into this object's code (text relocations): those
// pages are private copies now, and giving them back would undo its work.
bool hasTextRelocations(const dl_phdr_info& object) {
  for (int i = 0; i < object.dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = object.dlpi_phdr[i];
    if (header.p_type != PT_DYNAMIC) continue;
    const auto* entry = reinterpret_cast<const ElfW(Dyn)*>(object.dlpi_addr + header.p_vaddr);
    for (; entry->d_tag != DT_NULL; ++entry) {
      if (entry->d_tag == DT_TEXTREL) return true;
      if (entry->d_tag == DT_FLAGS && (entry->d_un.d_val & DF_TEXTREL) != 0) return true;
    }
  }
  return false;
}

int releaseObject(dl_phdr_info* object, std::size_t, void* released) {
  if (std::string_view(object->dlpi_name).find("linux-vdso") != std::string_view::npos) return 0;
  if (hasTextRelocations(*object)) return 0;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  for (int i = 0; i < object->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = object->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || (header.p_flags & PF_W) != 0) continue;
    // Whole pages of the file's bytes only: a page shared with a writable neighbour,
    // or past the end of the file's bytes, may have been written.
    const std::uintptr_t first = object->dlpi_addr + header.p_vaddr;
    const std::uintptr_t start = (first + page - 1) & ~(page - 1);
    const std::uintptr_t end = (first + header.p_filesz) & ~(page - 1);
    if (end > start && madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED) == 0) {
      *static_cast<std::size_t*>(released) += end - start;
    }
  }
  return 0;
}

}  // namespace

std::size_t releaseProgramPages() {
  std::size_t released = 0;
  dl_iterate_phdr(releaseObject, &released);
  return released;
}

}  // namespace foundation
