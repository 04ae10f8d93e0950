# Link options that make our programs start sooner. Every shared library a program
# loads costs it, at each start, the mappings, page faults and symbol lookups of one
# more object, and both processes of a `widget-host` command pay that. SQLite,
# utf8proc, xxHash and libuuid are therefore linked from Debian's static archives
# where those are installed (they come with the -dev packages); simdjson ships none.
# docs/performance.md gives the figures.
option(TUL_STATIC_SMALL_LIBRARIES
  "Link SQLite, utf8proc, xxHash and libuuid from their static archives when installed" ON)

if(TUL_STATIC_SMALL_LIBRARIES)
  find_library(TUL_SQLITE3_ARCHIVE NAMES libsqlite3.a)
  find_library(TUL_UTF8PROC_ARCHIVE NAMES libutf8proc.a)
  find_library(TUL_XXHASH_ARCHIVE NAMES libxxhash.a)
  find_library(TUL_UUID_ARCHIVE NAMES libuuid.a)
  if(TUL_SQLITE3_ARCHIVE AND TUL_UTF8PROC_ARCHIVE AND TUL_XXHASH_ARCHIVE AND TUL_UUID_ARCHIVE)
    # SQLite's archive leaves its math functions and dlopen() to the C library.
    set_target_properties(SQLite::SQLite3 PROPERTIES
      IMPORTED_LOCATION ${TUL_SQLITE3_ARCHIVE}
      INTERFACE_LINK_LIBRARIES "m;${CMAKE_DL_LIBS};Threads::Threads")
    set_target_properties(PkgConfig::UTF8PROC PROPERTIES INTERFACE_LINK_LIBRARIES ${TUL_UTF8PROC_ARCHIVE})
    set_target_properties(PkgConfig::XXHASH PROPERTIES INTERFACE_LINK_LIBRARIES ${TUL_XXHASH_ARCHIVE})
    set_target_properties(PkgConfig::UUID PROPERTIES INTERFACE_LINK_LIBRARIES ${TUL_UUID_ARCHIVE})
  else()
    message(STATUS "Static archives of SQLite, utf8proc, xxHash or libuuid missing: linking their shared libraries")
  endif()
endif()

# tul_static_cxx_runtime(target): links libstdc++ and libgcc into `target` itself,
# sparing it the load and the thousands of symbol lookups of libstdc++.so at every
# start. Only for what loads no C++ library: widget-host, and its renderer module,
# whose copy stays its own (the module exports its entry point only, and nothing but
# bytes crosses its C interface), so that loading it to draw maps no libstdc++.so.
# Not for the extension, which libsimdjson.so ties to libstdc++.so anyway. Left out
# of sanitizer builds, whose runtimes must see every allocation through the shared
# library.
option(TUL_STATIC_HOST_CXX_RUNTIME "Link libstdc++ and libgcc statically into widget-host and its renderer" ON)
function(tul_static_cxx_runtime target)
  if(TUL_STATIC_HOST_CXX_RUNTIME AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
     AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

# Optimised builds put every function and object in its own section and let the linker
# drop the ones nothing uses: the extension's code is smaller, and so are the pages of
# it a running extension keeps resident.
option(TUL_GC_SECTIONS "Drop unused functions and data from optimised programs" ON)
if(TUL_GC_SECTIONS AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
endif()

# The extension's code laid out by a profile of its requests (llvm-bolt, from Debian's
# bolt-16), in optimised builds: the code that serving requests runs packed into few
# pages and rarely taken blocks moved apart, so that a running extension keeps less of
# its code resident. The linker's program is then kept outside the bundle, and the
# bundle's program is made from it by scripts/lay-out-extension.sh, which checks that
# it answers as the linked one does. Off, with a message, when llvm-bolt is missing,
# and in debug and sanitizer builds.
option(TUL_LAY_OUT_BY_PROFILE "Lay out the extension's optimised code by a profile of its requests" ON)
set(TUL_LAY_OUT_EXTENSION OFF)
if(TUL_LAY_OUT_BY_PROFILE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug" AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  find_program(TUL_LLVM_BOLT NAMES llvm-bolt-16 llvm-bolt)
  find_program(TUL_MERGE_FDATA NAMES merge-fdata-16 merge-fdata)
  if(TUL_LLVM_BOLT AND TUL_MERGE_FDATA)
    set(TUL_LAY_OUT_EXTENSION ON)
  else()
    message(STATUS "llvm-bolt not found (Debian's bolt-16): the extension keeps the linker's layout")
  endif()
endif()

# tul_lay_out_by_profile(target host requests bundle_program): links `target` into a
# folder of its own (with the relocations llvm-bolt needs to move its code) and makes
# `bundle_program` from it, laid out by how serving `requests` runs it, with `host`
# playing the host app that stores a preset meanwhile. Made again whenever the program
# is linked again, or the requests or the step change.
function(tul_lay_out_by_profile target host requests bundle_program)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${target}-linked)
  target_link_options(${target} PRIVATE -Wl,--emit-relocs)
  set(script ${PROJECT_SOURCE_DIR}/scripts/lay-out-extension.sh)
  add_custom_command(OUTPUT ${bundle_program}
    COMMAND ${script} ${TUL_LLVM_BOLT} ${TUL_MERGE_FDATA} $<TARGET_FILE:${target}> $<TARGET_FILE:${host}>
            ${requests} ${CMAKE_BINARY_DIR}/${target}-layout ${bundle_program}
    DEPENDS ${target} ${host} ${requests} ${script}
    COMMENT "Laying out ${target}'s code by a profile of its requests"
    VERBATIM)
  add_custom_target(${target}Layout ALL DEPENDS ${bundle_program})
endfunction()
