# The Windows test programs run under Wine, headless, in a prefix of the test run's own that one
# persistent Wine server keeps from the first test to the last (the registry's volatile keys,
# SERIALCOMM among them, live only as long as the server).

find_program(TVK9_WINE NAMES wine64 wine HINTS /usr/lib/wine)
find_program(TVK9_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine)
if(NOT TVK9_WINE OR NOT TVK9_WINESERVER)
  message(STATUS "Wine not found: the Windows tests are built but not registered with CTest")
  return()
endif()
set(TVK9_WINE_TESTS ON)

set(TVK9_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(TVK9_WINE_ENVIRONMENT
    WINEPREFIX=${TVK9_WINE_PREFIX}
    WINEDEBUG=-all
    # No Mono or Gecko installer dialogs: the tests need neither. No menu entries of this
    # machine's desktop for the Start menu entries that the setup's test makes.
    WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=
    TVK9_WINE=${TVK9_WINE}
    TVK9_WINESERVER=${TVK9_WINESERVER}
    # The test cases skipped under Wine, with their reasons: made empty at the prefix's start,
    # printed by ./do after the run.
    TVK9_WINE_SKIPS=${CMAKE_BINARY_DIR}/wine-skipped.txt)
set(TVK9_WINE_SCRIPTS ${CMAKE_SOURCE_DIR}/tests/wine)

add_test(NAME wine_prefix_start COMMAND sh ${TVK9_WINE_SCRIPTS}/prefix.sh start)
add_test(NAME wine_prefix_stop COMMAND sh ${TVK9_WINE_SCRIPTS}/prefix.sh stop)
set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix
                     ENVIRONMENT "${TVK9_WINE_ENVIRONMENT}" LABELS wine)
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix
                     ENVIRONMENT "${TVK9_WINE_ENVIRONMENT}" LABELS wine)

# tvk9_wine_test(NAME PROGRAM [ARGS...] [LABELS ...] [RESOURCE_LOCK ...]): PROGRAM under Wine.
function(tvk9_wine_test name)
  cmake_parse_arguments(ARG "" "" "LABELS;RESOURCE_LOCK" ${ARGN})
  add_test(NAME ${name} COMMAND sh ${TVK9_WINE_SCRIPTS}/run.sh ${ARG_UNPARSED_ARGUMENTS})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix
                       ENVIRONMENT "${TVK9_WINE_ENVIRONMENT}" LABELS "wine;${ARG_LABELS}"
                       TIMEOUT 600)
  if(ARG_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
endfunction()

# tvk9_wine_device_test(NAME PROGRAM [ARGS...]): PROGRAM under Wine against simulated sensors
# on COM ports of the prefix (tests/wine/device_test.sh). Needs a tvk9-devsim built for this
# machine: TVK9_NATIVE_DEVSIM.
set(TVK9_NATIVE_DEVSIM "" CACHE FILEPATH "tvk9-devsim built for the build machine")
function(tvk9_wine_device_test name)
  if(NOT TVK9_NATIVE_DEVSIM)
    message(STATUS "${name}: no TVK9_NATIVE_DEVSIM, so no test against simulated sensors")
    return()
  endif()
  add_test(NAME ${name}
           COMMAND sh ${TVK9_WINE_SCRIPTS}/device_test.sh ${TVK9_NATIVE_DEVSIM} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix
                       ENVIRONMENT "${TVK9_WINE_ENVIRONMENT}" LABELS "wine;devices"
                       RESOURCE_LOCK wine_devices TIMEOUT 600)
endfunction()
