// Test support for the widget host's process-level tests: the build tree installed with
// `cmake --install` into a temporary prefix (once per test process, removed when it
// ends), the installed widget-host run as a user runs it against a preferences folder of
// its own (Host), and the check that a failure is one line with its status.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "hex.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::testing {

inline constexpr const char* kSuite = "group.com.quenova.tul";
inline constexpr const char* kKey = "miniMelody";

// The build tree installed into a temporary prefix, as a user would install it.
inline const std::filesystem::path& installedPrefix() {
  static const TempFolder prefix("widget-host-prefix");
  static const bool installed = [] {
    const RunResult install =
        run({TUL_CMAKE_COMMAND, "--install", TUL_TEST_BINARY_DIR, "--prefix", prefix.path().string()});
    if (install.exitCode != 0) throw std::runtime_error("cmake --install failed: " + install.out + install.err);
    return true;
  }();
  (void)installed;
  return prefix.path();
}

inline std::filesystem::path installedHost() { return installedPrefix() / TUL_INSTALL_BINDIR / "widget-host"; }

// The installed extension's bundle folder.
inline std::filesystem::path installedBundle() {
  return installedPrefix() / TUL_INSTALL_LIBDIR / "tul-widget/TulWidgetExtension.appex";
}

// The installed renderer module, which the installed host loads to draw.
inline std::filesystem::path installedRenderModule() {
  return installedPrefix() / TUL_INSTALL_LIBDIR / "tul-widget/widget-host-render.so";
}

// A misbehaving stand-in extension (stand_in_extension.cpp): "stand_in_" and the
// behaviour, '-' written as '_'.
inline std::filesystem::path standIn(std::string behaviour) {
  std::replace(behaviour.begin(), behaviour.end(), '-', '_');
  return std::filesystem::path(TUL_STAND_IN_DIR) / ("stand_in_" + behaviour);
}

// A folder for one test's preferences and files, and the installed host run against it.
class Host {
 public:
  using Json = nlohmann::ordered_json;

  const std::filesystem::path& folder() const { return folder_.path(); }
  std::filesystem::path preferences() const { return folder_ / "preferences"; }
  std::filesystem::path file(const std::string& name, const std::string& bytes) const {
    writeFile(folder_ / name, bytes);
    return folder_ / name;
  }

  RunResult run(std::vector<std::string> arguments, const std::string& input = "") const {
    arguments.insert(arguments.begin(), {installedHost().string(), "--preferences", preferences().string()});
    return testing::run(arguments, input);
  }

  // The stored preset's bytes, as hex digits.
  std::string storedHex() const {
    const RunResult read = run({"defaults", "read", kSuite, kKey, "--format", "json"});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    const Json value = Json::parse(read.out, nullptr, false);
    EXPECT_EQ(value["type"], "data") << read.out;
    return value["value"].get<std::string>();
  }

  // The preset stored now, decoded.
  Json storedPreset() const {
    auto bytes = host::bytesFromHex(storedHex());
    EXPECT_TRUE(bytes.has_value());
    return Json::parse(bytes.value_or("null"));
  }

 private:
  TempFolder folder_;
};

// A failure: no output, one line on standard error that starts with the tool's name.
inline void expectOneLineError(const RunResult& result, int exitCode, const std::string& part,
                               const std::string& what) {
  EXPECT_EQ(result.exitCode, exitCode) << what << ": " << result.err;
  EXPECT_EQ(result.out, "") << what;
  EXPECT_EQ(result.err.rfind("widget-host: ", 0), 0U) << what << ": " << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << what << ": " << result.err;
  EXPECT_NE(result.err.find(part), std::string::npos) << what << ": " << result.err;
}

// A command line the host must refuse: its arguments, exit status and part of its message.
struct ErrorCase {
  const char* name;
  std::vector<std::string> arguments;
  int exitCode;
  std::string message;
};

// Runs each case with `input` on standard input and expects its one-line error.
inline void expectErrors(const Host& host, const std::vector<ErrorCase>& cases,
                         const std::function<std::string(const ErrorCase&)>& input = {}) {
  for (const ErrorCase& c : cases) {
    expectOneLineError(host.run(c.arguments, input ? input(c) : ""), c.exitCode, c.message, c.name);
  }
}

}  // namespace tul::testing
