// The libFuzzer entry of the targets whose check needs no setup. TUL_FUZZ_CHECK names
// the check (fuzz/input_checks.h); each target is this file built with another one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "input_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto failure = tul::fuzzing::TUL_FUZZ_CHECK(input)) {
    std::fprintf(stderr, "property violated: %s\n", failure->c_str());
    std::abort();
  }
  return 0;
}
