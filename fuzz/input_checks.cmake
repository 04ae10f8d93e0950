# The input checks (input_checks.h) as a library, for the fuzz targets and for the
# replay of their corpora in tests/hardening. Defined once per build.
if(NOT TARGET tul_input_checks)
  add_library(tul_input_checks STATIC
    ${CMAKE_CURRENT_LIST_DIR}/record_checks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_checks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/protocol_checks.cpp)
  target_include_directories(tul_input_checks PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(tul_input_checks PUBLIC app nlohmann_json::nlohmann_json)
  tul_set_options(tul_input_checks)
endif()
