# ovc_add_library(NAME SOURCES ... [DEPS ...])
#   One static library per folder of src/; the include root is src/.
function(ovc_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# ovc_add_test(NAME [SERIAL] SOURCES ... [DEPS ...])
#   A GoogleTest binary registered with CTest. Every test runs in its own
#   temporary world: the environment variables below point into the build tree.
#   SERIAL tests run alone, for tests that measure timing on real threads.
function(ovc_add_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;DEPS" ${ARGN})
  set(serial_property)
  if(ARG_SERIAL)
    set(serial_property RUN_SERIAL TRUE)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} ovc_test_support GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(${name} ovc_data)
  target_compile_definitions(${name} PRIVATE
    OVC_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}/tests"
    OVC_DATA_SOURCE_DIR="${PROJECT_SOURCE_DIR}/data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "OVC_TEST_SCRATCH=${CMAKE_BINARY_DIR}/test-scratch" ${serial_property})
endfunction()

# ovc_add_fuzzer(NAME SOURCES ... [DEPS ...])
#   A libFuzzer target; built only with -DOVC_FUZZ=ON and clang.
function(ovc_add_fuzzer name)
  if(NOT OVC_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
