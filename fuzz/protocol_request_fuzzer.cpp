// The libFuzzer entry of the protocol target: lines served by the bundle main loop
// with the extension's own widgets and the resources of the extension bundle that
// the build lays out (TUL_FUZZ_BUNDLE_DIR).
//
// Timeline requests load the shared preset, so the target keeps its preferences in
// a folder of its own, made at start and removed at exit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "input_checks.h"
#include "support/temp_folder.h"

namespace {

const tul::fuzzing::ProtocolRequestCheck& check() {
  static const tul::fuzzing::ProtocolRequestCheck instance(TUL_FUZZ_BUNDLE_DIR);
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static const tul::testing::TempPreferences preferences;  // removed when the process exits
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto failure = check()(input)) {
    std::fprintf(stderr, "property violated: %s\n", failure->c_str());
    std::abort();
  }
  return 0;
}
