# Lets clang 14 compile the project (C++23 with libstdc++ 12), for the fuzz build.
#
# Included right after project() (the "fuzz" preset sets CMAKE_PROJECT_INCLUDE to this
# file), so that it applies to every target of the build. Each step first probes
# whether it is needed, so it does nothing for a compiler that needs no help.
#
# ---- std::expected ----
# Two things stop clang 14 from using libstdc++ 12's std::expected:
# 1. The header is guarded by `__cpp_concepts >= 202002L`, and clang 14 reports
#    201907L, so <expected> declares nothing.
# 2. Defining __cpp_concepts=202002L on the command line lifts the guard, but then
#    every std::expected whose value or error type has a destructor of its own (a
#    std::string, a std::vector) is unusable: "attempt to use a deleted function",
#    because libstdc++ declares a defaulted destructor next to a constrained one and
#    clang before 16 (no P0848R3, conditionally trivial special members) always picks
#    the first, which is deleted. The macro also changes what <variant> compiles.
#
# So instead this writes a corrected copy of the toolchain's own <expected> into the
# build tree, found first on the include path: the guard asks only for C++23, and each
# of the two destructor pairs becomes one destructor that destroys the active member
# (a no-op for trivial members). Nothing else in the header changes. The copy is made
# only when a probe shows that <expected> does not work as it is, and configuring fails
# when the header does not have the expected shape (another libstdc++ version).
#
# ---- ui::Overloaded ----
# `Overloaded{lambda, lambda}` relies on deducing an aggregate's template arguments
# from its initializers (C++20, P1816), which clang implements only from version 17.
# When the project's header declares no deduction guide, one is force-included
# (fuzz/compat/overloaded_deduction_guide.h).

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  return()
endif()

set(tul_probe_dir ${CMAKE_BINARY_DIR}/clang-compat-probe)
file(WRITE ${tul_probe_dir}/overloaded_probe.cpp "
#include \"${PROJECT_SOURCE_DIR}/src/platform/ui/overloaded.h\"
#include <variant>
int main() {
  std::variant<int, double> v = 1;
  return std::visit(ui::Overloaded{[](int) { return 0; }, [](double) { return 1; }}, v);
}
")
try_compile(tul_overloaded_deduces ${tul_probe_dir}
  SOURCES ${tul_probe_dir}/overloaded_probe.cpp
  CXX_STANDARD 23 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
if(NOT tul_overloaded_deduces)
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/compat/overloaded_deduction_guide.h>")
  message(STATUS "ui::Overloaded for clang: force-including a deduction guide")
endif()

set(tul_expected_probe ${tul_probe_dir}/expected_probe.cpp)
file(WRITE ${tul_expected_probe} [=[
#include <expected>
#include <string>
std::expected<std::string, std::string> pick(bool ok) {
  if (ok) return std::string("value");
  return std::unexpected(std::string("error"));
}
int main() { return pick(true).has_value() && !pick(false).has_value() ? 0 : 1; }
]=])
try_compile(tul_expected_works ${tul_probe_dir}
  SOURCES ${tul_expected_probe}
  CXX_STANDARD 23 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF
  OUTPUT_VARIABLE tul_expected_probe_log)
if(tul_expected_works)
  return()
endif()

# Where the compiler finds <expected>: the dependency list of a file that includes it.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++2b -M -x c++ ${tul_expected_probe}
  OUTPUT_VARIABLE tul_expected_deps
  RESULT_VARIABLE tul_expected_deps_result
  ERROR_QUIET)
string(REGEX MATCH "[^ \t\n\\\\]*/c\\+\\+/[0-9]+/expected" tul_expected_header "${tul_expected_deps}")
if(NOT tul_expected_header OR NOT EXISTS "${tul_expected_header}")
  message(FATAL_ERROR "clang cannot compile std::expected and the libstdc++ <expected> header was not found")
endif()

file(READ "${tul_expected_header}" tul_expected_text)
# Replaces `from` by `to` in the header text, or fails when `from` is not there.
# (The texts hold ';', so they cannot travel in a CMake list.)
function(tul_edit_expected from to)
  string(FIND "${tul_expected_text}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${tul_expected_header} does not have the shape this workaround knows "
                        "(libstdc++ 12); cannot make std::expected usable with ${CMAKE_CXX_COMPILER}")
  endif()
  string(REPLACE "${from}" "${to}" edited "${tul_expected_text}")
  set(tul_expected_text "${edited}" PARENT_SCOPE)
endfunction()
tul_edit_expected("#if __cplusplus > 202002L && __cpp_concepts >= 202002L" "#if __cplusplus > 202002L")
tul_edit_expected(
  "      constexpr ~expected() = default;\n\n      constexpr ~expected()\n      requires (!is_trivially_destructible_v<_Tp>)\n\t    || (!is_trivially_destructible_v<_Er>)\n"
  "      constexpr ~expected()\n")
tul_edit_expected(
  "      constexpr ~expected() = default;\n\n      constexpr ~expected() requires (!is_trivially_destructible_v<_Er>)\n"
  "      constexpr ~expected()\n")

set(tul_compat_dir ${CMAKE_BINARY_DIR}/clang-compat)
file(WRITE ${tul_compat_dir}/expected
  "// Generated by fuzz/clang_compat.cmake from ${tul_expected_header}.\n${tul_expected_text}")
try_compile(tul_expected_fixed ${tul_probe_dir}
  SOURCES ${tul_expected_probe}
  CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${tul_compat_dir}"
  CXX_STANDARD 23 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF
  OUTPUT_VARIABLE tul_expected_probe_log)
if(NOT tul_expected_fixed)
  message(FATAL_ERROR "std::expected does not compile with ${CMAKE_CXX_COMPILER}, even with the corrected "
                      "<expected>:\n${tul_expected_probe_log}")
endif()
include_directories(SYSTEM BEFORE ${tul_compat_dir})
message(STATUS "std::expected for clang: using the corrected copy of <expected> in ${tul_compat_dir}")
