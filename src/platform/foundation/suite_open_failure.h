// SuiteOpenFailure: why a suite file could not be opened, for messages that tell the
// user what to do about it. Every failure leaves the file as it was.
#pragma once

#include <string_view>

namespace foundation {

enum class SuiteOpenFailure {
  notRegularFile,  // a folder, FIFO, socket or device node is where the file should be
  locked,          // another process held it locked past the busy timeout
  notASuite,       // not a database, damaged, another program's, or unreadable
  cannotCreate,    // missing, and its folder or the file cannot be made
};

// What the failure says after "cannot open suite …: ".
constexpr std::string_view describe(SuiteOpenFailure failure) {
  switch (failure) {
    case SuiteOpenFailure::notRegularFile: return "it is not a regular file";
    case SuiteOpenFailure::locked: return "it is locked by another process";
    case SuiteOpenFailure::notASuite: return "not a readable preferences database";
    case SuiteOpenFailure::cannotCreate: return "it cannot be created there";
  }
  return "it cannot be opened";
}

}  // namespace foundation
