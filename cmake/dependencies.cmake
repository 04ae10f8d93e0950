# Third-party libraries, all from Debian's archive (scripts/install-deps.sh installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(simdjson REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)

pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(UTF8PROC REQUIRED IMPORTED_TARGET libutf8proc)
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)

find_package(CLI11 REQUIRED CONFIG)

if(TUL_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(TUL_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
