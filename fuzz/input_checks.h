// Input checks: what must hold for any input to each of the extension's readers,
// shared by the libFuzzer targets (fuzz/) and the replay of their corpora and the
// inputs they found (tests/hardening/fuzz_corpus_test.cpp).
//
// Each check feeds one input to the real code and returns nothing when every
// property held, or a description of the first one that did not. A crash, a
// sanitizer report or a hang is a failure too, caught by whoever runs the check.
// Checks keep no state between inputs beyond what the code under test keeps.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tul::fuzzing {

using CheckResult = std::optional<std::string>;

// The preset's JSON (MiniMelody): a decoded record encodes and decodes back to an
// equal record with an equal hash, also with its texts in NFC form; a failure names
// a known kind of error.
CheckResult checkPresetJson(std::string_view input);

// The Live Activity's coded attributes and content state (TulWidgetAttributes and
// its ContentState), each read from the whole input, with the same properties.
CheckResult checkActivityRecords(std::string_view input);

// A string table (".strings" text): a parsed table written back out parses to the
// same table; an error names a line and column inside the text.
CheckResult checkStringsTable(std::string_view input);

// The formatter: the leading bytes choose the arguments, the rest is the format.
// Without arguments a format shows as written (only "%%" becomes "%"); a format
// without '%' is returned unchanged; a string value is never read as a format.
CheckResult checkStringFormat(std::string_view input);

// Protocol lines served by the bundle main loop with the extension's own widgets
// (TulWidgetBundle) and the resources of a bundle folder. Every line of the input
// (split at '\n', as the loop splits its input) gets one answer that is one line of
// JSON-RPC 2.0 with a result or a documented error, or none when it is blank or a
// notification.
class ProtocolRequestCheck {
 public:
  explicit ProtocolRequestCheck(const std::filesystem::path& bundleFolder);
  ~ProtocolRequestCheck();
  ProtocolRequestCheck(const ProtocolRequestCheck&) = delete;
  ProtocolRequestCheck& operator=(const ProtocolRequestCheck&) = delete;

  CheckResult operator()(std::string_view input) const;

 private:
  struct Server;
  std::unique_ptr<Server> server_;
};

}  // namespace tul::fuzzing
