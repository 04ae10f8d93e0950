// Golden files: text a test makes from the code (a view tree's outline, a layout's
// frames, a list of error messages) compared with a file kept under tests/golden/, so
// that a change in behaviour is seen as a diff of that file. With TUL_UPDATE_GOLDENS=1
// in the environment the file is rewritten from the text instead (see README.md in
// this folder).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace tul::testing {

// This folder. A relative __FILE__ (as ccache may make it) is relative to the folder
// the test was compiled in, where its executable is.
inline std::filesystem::path goldenFile(const std::string& name) {
  std::filesystem::path here(__FILE__);
  if (here.is_relative()) here = std::filesystem::read_symlink("/proc/self/exe").parent_path() / here;
  return here.parent_path() / name;
}

// Expects `actual` to be the text of the golden file `name`, or rewrites the file.
inline void expectGolden(const std::string& name, const std::string& actual) {
  const std::filesystem::path path = goldenFile(name);
  const char* update = std::getenv("TUL_UPDATE_GOLDENS");
  if (update != nullptr && std::string_view(update) == "1") {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path << " is missing; make it with TUL_UPDATE_GOLDENS=1";
  std::ostringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(actual, golden.str()) << "differs from " << path;
}

}  // namespace tul::testing
