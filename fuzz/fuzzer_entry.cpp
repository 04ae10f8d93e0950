// The libFuzzer entry of every target. TUL_FUZZ_CHECK names the check
// (fuzz/input_checks.h); each target is this file built with another one.
//
// The protocol target (TUL_FUZZ_BUNDLE_DIR) serves its lines with the resources of the
// extension bundle that the build lays out. Timeline requests load the shared preset,
// so it keeps its preferences in a folder of its own, made at start and removed at exit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "input_checks.h"

#ifdef TUL_FUZZ_BUNDLE_DIR
#include "support/temp_folder.h"

namespace {
const tul::testing::TempPreferences preferences;
const tul::fuzzing::ProtocolRequestCheck checkProtocolRequest(TUL_FUZZ_BUNDLE_DIR);
}  // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto failure = TUL_FUZZ_CHECK(input)) {
    std::fprintf(stderr, "property violated: %s\n", failure->c_str());
    std::abort();
  }
  return 0;
}
