# ovc_add_library(NAME SOURCES ... [PUBLIC_DEPS ...] [DEPS ...])
#   One static library per folder of src/. PUBLIC_DEPS are what the folder's
#   headers include, DEPS what only its sources use.
#   Headers are included as "folder/file.h", but not from all of src/: each
#   library's include root is a view of src/ that holds its own folder only
#   (build/include/NAME/<folder> links to the folder), so a source sees the
#   headers of its own library and of the libraries it links, and including
#   from a library that is not linked does not build.
function(ovc_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(view ${CMAKE_BINARY_DIR}/include/${name})
  set(link ${view}/${folder})
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} linked)
    if(NOT linked STREQUAL CMAKE_CURRENT_SOURCE_DIR)
      file(REMOVE ${link})
    endif()
  endif()
  if(NOT IS_SYMLINK ${link})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} SYMBOLIC)
  endif()
  target_include_directories(${name} PUBLIC ${view})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
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
