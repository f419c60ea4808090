# Project-wide compile settings and helpers.

add_library(tvk9_warnings INTERFACE)
target_compile_options(tvk9_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)

if(TVK9_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TVK9_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# tvk9_library(NAME SOURCES ... [DEPS ...]): one static library per folder.
function(tvk9_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tvk9_warnings)
endfunction()

# tvk9_test(NAME SOURCES ... [DEPS ...] [LABELS ...]): a GoogleTest binary whose cases CTest
# lists one by one.
function(tvk9_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main
                                        tvk9_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE TVK9_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             TVK9_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
