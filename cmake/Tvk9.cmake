# Project-wide compile settings and helpers.

# Warnings are errors in the project's own builds (./do, CI), not in a packager's: a newer
# compiler's new warning must not stop a distribution's build.
option(TVK9_WERROR "Treat compiler warnings as errors" OFF)
add_library(tvk9_warnings INTERFACE)
target_compile_options(tvk9_warnings INTERFACE -Wall -Wextra -Wpedantic
                                               $<$<BOOL:${TVK9_WERROR}>:-Werror>)

if(TVK9_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TVK9_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# tvk9_platform_sources(VAR FILE...): the files that belong to this operating system. Files named
# linux_* are Linux's, posix_* every system's but Windows, windows_* Windows's; the rest are
# everybody's.
function(tvk9_platform_sources var)
  set(kept)
  foreach(file IN LISTS ARGN)
    get_filename_component(name ${file} NAME)
    if(WIN32)
      if(name MATCHES "^(linux|posix)_")
        continue()
      endif()
    elseif(name MATCHES "^windows_")
      continue()
    endif()
    list(APPEND kept ${file})
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
endfunction()

# tvk9_library(NAME [DEPS ...] [EXCLUDE FILE...]): one static library per folder, made of the
# folder's .cpp files for this operating system, less those named after EXCLUDE.
function(tvk9_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  tvk9_platform_sources(sources ${sources})
  foreach(file IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tvk9_warnings)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# tvk9_folder_tests(NAME [DEPS ...] [LABELS ...] [EXCLUDE FILE...]): one test binary of every
# *_test.cpp here for this operating system, less those named after EXCLUDE.
function(tvk9_folder_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  tvk9_platform_sources(sources ${sources})
  foreach(file IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  if(sources)
    tvk9_test(${name} SOURCES ${sources} DEPS ${ARG_DEPS} LABELS ${ARG_LABELS})
  endif()
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
  if(TVK9_WINE_TESTS)
    # Under Wine a program starts in a fraction of a second, not in microseconds: each test
    # binary runs whole, once, in the test run's own prefix.
    tvk9_wine_test(${name} $<TARGET_FILE:${name}> LABELS ${ARG_LABELS})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()

# Who publishes the programs and where, as the packages name them.
set(TVK9_PUBLISHER "The TVK9 Programmer developers")
set(TVK9_HOMEPAGE "https://github.com/tvk9/tvk9-programmer")

# tvk9_programs(VAR): every program of the project, in one list; those this configuration does
# not build (the window in a core-only build, the simulator on Windows) are left out.
function(tvk9_programs var)
  set(programs)
  foreach(program tvk9-programmer tvk9-cli tvk9-settings tvk9-devsim)
    if(TARGET ${program})
      list(APPEND programs ${program})
    endif()
  endforeach()
  set(${var} ${programs} PARENT_SCOPE)
endfunction()

# tvk9_windows_package(): what `./do windows-package` makes, for the rules that make it and the
# tests that check it. Sets TVK9_WINDOWS_PACKAGE (the zip's one folder), TVK9_WINDOWS_SETUP and
# TVK9_WINDOWS_ZIP (in TVK9_WINDOWS_PACKAGE_DIR), TVK9_WINDOWS_PROGRAMS (the targets),
# TVK9_WINDOWS_FILES (the files of an installation and of the zip's folder), TVK9_WINDOWS_START
# (the file the Start menu entry opens) and TVK9_WINDOWS_ICON (the icon of the Apps & features
# entry). Without the window, the entry opens the readme and the icon is the uninstaller's.
if(WIN32)
  set(TVK9_WINDOWS_PACKAGE_DIR ${CMAKE_BINARY_DIR} CACHE PATH "Folder of the Windows setup and zip")
endif()
macro(tvk9_windows_package)
  set(TVK9_WINDOWS_PACKAGE ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(TVK9_WINDOWS_SETUP ${TVK9_WINDOWS_PACKAGE_DIR}/${TVK9_WINDOWS_PACKAGE}-setup.exe)
  set(TVK9_WINDOWS_ZIP ${TVK9_WINDOWS_PACKAGE_DIR}/${TVK9_WINDOWS_PACKAGE}.zip)
  tvk9_programs(TVK9_WINDOWS_PROGRAMS)
  set(TVK9_WINDOWS_FILES)
  foreach(program IN LISTS TVK9_WINDOWS_PROGRAMS)
    list(APPEND TVK9_WINDOWS_FILES ${program}.exe)
  endforeach()
  list(APPEND TVK9_WINDOWS_FILES LICENSE.txt README.txt)
  if(TARGET tvk9-programmer)
    set(TVK9_WINDOWS_START tvk9-programmer.exe)
    set(TVK9_WINDOWS_ICON tvk9-programmer.exe)
  else()
    set(TVK9_WINDOWS_START README.txt)
    set(TVK9_WINDOWS_ICON uninstall.exe)
  endif()
endmacro()
