// Test support for the widget host's process-level tests: the build tree installed with
// `cmake --install` into a temporary prefix (once per test process, removed when it
// ends), the installed widget-host run as a user runs it against a preferences folder of
// its own (Host), and the transcript of command lines that the golden files keep.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// A misbehaving stand-in extension (stand_in_extension.cpp): "stand_in_" and the
// behaviour as its target names it ('-' written as '_').
inline std::filesystem::path standIn(const std::string& behaviour) {
  return std::filesystem::path(TUL_STAND_IN_DIR) / ("stand_in_" + behaviour);
}

inline const std::string kState =
    R"({"tempo":96,"beat":3,"note":4,"melodyName":"Waltz","isPlaying":true,"isAutomated":false})";

// A folder for one test's preferences and files (attributes.json and state.json, the
// records of a Live Activity, to begin with), and the installed host run against it.
class Host {
 public:
  Host() {
    file("attributes.json", R"({"name":"Practice"})");
    file("state.json", kState);
  }
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

 private:
  TempFolder folder_;
};

// One command line of a transcript: its words, split at spaces ('' is an empty word),
// in which $DIR (the host's folder), $BUILD_HOST (the host in the build tree), $BIN
// and $LIB (the installed prefix's folders) and $STAND_IN (the stand-ins' folder) are
// put in; and the bytes it gets on standard input. A line whose first word is a path
// runs that program instead of the installed host.
struct Line {
  Line(const char* line) : words(line) {}
  Line(std::string line, std::string bytes = "") : words(std::move(line)), input(std::move(bytes)) {}
  std::string words;
  std::string input;
};

// The pieces of `text` between the separators (none after a last one).
inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < text.size();) {
    const auto end = std::min(text.find(separator, at), text.size());
    pieces.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return pieces;
}

// What each line did, as a golden file keeps it: "$ " and the line, then its output,
// each line of its error after "! ", and its exit status; with the folders written as
// their names again and every time stamp as $DATE.
inline std::string transcript(const Host& host, const std::vector<Line>& lines) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"$BUILD_HOST", TUL_BUILD_TREE_HOST},
      {"$LIB", (installedPrefix() / TUL_INSTALL_LIBDIR).string()},
      {"$BIN", (installedPrefix() / TUL_INSTALL_BINDIR).string()},
      {"$STAND_IN", TUL_STAND_IN_DIR},
      {"$DIR", host.folder().string()},
  };
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
    return text;
  };
  std::string out;
  for (const Line& line : lines) {
    std::string text = line.words;
    for (const auto& [name, path] : names) text = replaced(text, name, path);
    std::vector<std::string> words = split(text, ' ');
    std::ranges::replace(words, std::string("''"), std::string());
    if (words.empty() || !words[0].starts_with('/')) words.insert(words.begin(), installedHost().string());
    words.insert(words.begin() + 1, {"--preferences", host.preferences().string()});
    const RunResult result = run(words, line.input);
    std::string shown = "$ " + line.words + "\n" + result.out;
    for (const std::string& error : split(result.err, '\n')) shown += "! " + error + "\n";
    shown += "[exit " + std::to_string(result.exitCode) + "]\n";
    for (const auto& [name, path] : names) shown = replaced(shown, path, name);
    out += std::regex_replace(shown, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z)"), "$$DATE");
  }
  return out;
}

}  // namespace tul::testing
