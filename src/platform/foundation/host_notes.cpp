#include "platform/foundation/host_notes.h"

#include <utility>

namespace foundation {

namespace {

std::vector<std::string>& notes() {
  thread_local std::vector<std::string> noted;
  return noted;
}

}  // namespace

void noteForHost(std::string note) { notes().push_back(std::move(note)); }

std::vector<std::string> takeHostNotes() { return std::exchange(notes(), {}); }

}  // namespace foundation
