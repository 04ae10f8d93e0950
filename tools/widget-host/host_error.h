// HostError: why a widget-host command failed, as one line for standard error, and
// the exit status that names the class of the failure (the BSD sysexits values, so
// that scripts can tell a bad command line from a missing file or a broken extension).
#pragma once

#include <string>

namespace host {

enum class ExitCode : int {
  ok = 0,
  usage = 64,         // a bad command line, or a request the extension refuses as bad params
  dataError = 65,     // input bytes that do not decode, or are too large
  noInput = 66,       // a missing or unreadable file, suite or key
  unavailable = 69,   // the extension cannot be started, crashed, timed out or broke the protocol
  internal = 70,      // a fault in widget-host itself
  cannotCreate = 73,  // an output file or folder that exists (without --force) or cannot be written
  ioError = 74,       // a suite that cannot be written
  renderFailed = 76,  // a view that cannot be laid out or drawn (missing image or font, drawing error)
  doesNotFit = 79,
  picturesDiffer = 80,  // snapshot verify: a picture or its outline is not as recorded    // with --strict: a text cut
                        // short or a view outside its surface (pictures still written)
};

struct HostError {
  ExitCode code;
  std::string message;  // one line saying what failed and where, without a trailing '\n'
};

}  // namespace host
