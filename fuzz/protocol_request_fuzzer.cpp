// The libFuzzer entry of the protocol target: lines served by the bundle main loop
// with the extension's own widgets and the resources of the extension bundle that
// the build lays out (TUL_FUZZ_BUNDLE_DIR).
//
// Timeline requests load the shared preset, so the target keeps its preferences in
// a folder of its own, made at start and removed at exit.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "input_checks.h"

namespace {

std::filesystem::path& preferencesRoot() {
  static std::filesystem::path root;
  return root;
}

void removePreferences() {
  std::error_code ignored;
  std::filesystem::remove_all(preferencesRoot(), ignored);
}

const tul::fuzzing::ProtocolRequestCheck& check() {
  static const tul::fuzzing::ProtocolRequestCheck instance(TUL_FUZZ_BUNDLE_DIR);
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tul-fuzz-prefs-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  preferencesRoot() = pattern;
  ::setenv("WIDGET_PLATFORM_PREFERENCES", (preferencesRoot() / "preferences").c_str(), 1);
  std::atexit(removePreferences);
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
