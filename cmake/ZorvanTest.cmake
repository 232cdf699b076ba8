# zorvan_add_test(<name> SOURCES ... LIBS ... LABELS ...)
# One GoogleTest executable; each test case becomes a CTest test carrying the
# module label (driver, calibration, pointer, serial, e2e) and, for tests that
# run threads, the label `threaded` so the ThreadSanitizer job can pick them.
function(zorvan_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  if("threaded" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY ZORVAN_THREADED_TEST_TARGETS ${name})
  endif()
  # gtest_discover_tests (CMake 3.25) splits list-valued PROPERTIES apart, so a
  # second label and the second environment entry would be lost. The
  # properties are set instead by a script that CTest includes after the
  # discovered tests, over the list of tests that discovery leaves behind.
  set(props_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${props_file}
    "foreach(zorvan_test IN LISTS ${name}_TESTS)\n"
    "  set_tests_properties(\"\${zorvan_test}\" PROPERTIES\n"
    "    LABELS \"${ARG_LABELS}\" TIMEOUT ${ARG_TIMEOUT}\n"
    "    ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;ZORVAN_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props_file})
endfunction()
