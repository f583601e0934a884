# quorvane_add_gtest(<name> SOURCES <files...> LIBRARIES <targets...>)
# One GoogleTest executable whose cases ctest lists one by one, each labelled
# with the executable's name (ctest -L picks executables, -R cases).
find_package(GTest REQUIRED)
include(GoogleTest)

function(quorvane_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(environment "")
  if(QUORVANE_SANITIZE STREQUAL "thread")
    set(environment ENVIRONMENT "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS ${name} ${environment})
endfunction()
