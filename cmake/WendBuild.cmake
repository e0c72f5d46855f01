# Shared build settings: warnings, sanitizers and the helpers that turn a source folder into a
# library and a test folder into one CTest executable per test file.

set(WEND_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wformat=2)
if(WEND_WERROR AND NOT WEND_FUZZ)
  list(APPEND WEND_WARNINGS -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 reports -Wrestrict inside its own std::string concatenation once -O3 inlines it; the
    # warning stays visible but cannot fail the Release build.
    list(APPEND WEND_WARNINGS -Wno-error=restrict)
  endif()
endif()

if(WEND_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(WEND_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(WEND_FUZZ)
  # Coverage instrumentation for the libraries; the fuzz targets link libFuzzer themselves.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT WEND_SANITIZE STREQUAL "")
  message(FATAL_ERROR "WEND_SANITIZE must be empty, address or thread")
endif()

# lld links the test programs, some two hundred per build, several times faster than the default.
find_program(WEND_LLD ld.lld)
if(WEND_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# wend_library(name DIRS dir... [LIBS lib...])
# One static library from every .cc under the given folders (relative to the current folder).
function(wend_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;LIBS" ${ARGN})
  set(sources "")
  foreach(dir ${ARG_DIRS})
    file(GLOB dir_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cc)
    list(APPEND sources ${dir_sources})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${WEND_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# The tests' compile options beyond the warnings. All of them take -pthread, as the display
# toolkit's do, so that one precompiled header fits every test. GCC 12 loses the system-header
# mark of lines that come from a precompiled header, so its known false reports of bounds and
# string-operation sizes inside std::string's inlined copies would reach the tests (the libraries
# do not use the header).
set(WEND_TEST_OPTIONS -pthread)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND WEND_TEST_OPTIONS -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
endif()

# wend_test_pch(): the tests' shared precompiled header. Every test source starts with the same
# heavy headers (GoogleTest and much of the standard library), parsed here once instead of in each
# of some two hundred test programs. Its own target is a program like the tests, so that its
# flags (position-independent executable code, sanitizers) are theirs; -Winvalid-pch with -Werror
# stops the build should a test's flags ever differ.
function(wend_test_pch)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/wend_test_pch.cc)
  file(CONFIGURE OUTPUT ${source} CONTENT "")
  add_executable(wend_test_pch ${source})
  target_compile_options(wend_test_pch PRIVATE ${WEND_WARNINGS} ${WEND_TEST_OPTIONS})
  target_link_libraries(wend_test_pch PRIVATE GTest::gtest GTest::gtest_main)
  target_precompile_headers(wend_test_pch PRIVATE
    <gtest/gtest.h> <algorithm> <atomic> <chrono> <cstdint> <filesystem> <fstream> <functional>
    <map> <memory> <mutex> <optional> <sstream> <string> <thread> <vector>)
endfunction()

# wend_test_executable(name source...): one test program, with the warnings, the project's include
# root and the shared precompiled header.
function(wend_test_executable name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE ${WEND_WARNINGS} ${WEND_TEST_OPTIONS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_precompile_headers(${name} REUSE_FROM wend_test_pch)
endfunction()

# wend_tests(DIR dir LIBS lib... [LABELS label...])
# One test executable per *Test.cc in DIR, registered with CTest test by test.
function(wend_tests)
  cmake_parse_arguments(ARG "" "DIR" "LIBS;LABELS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*Test.cc)
  file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/support/*.cc)
  # An empty label would leave "LABELS TIMEOUT 300": the time limit read as a label.
  set(properties TIMEOUT 300)
  if(ARG_LABELS)
    list(PREPEND properties LABELS "${ARG_LABELS}")
  endif()
  foreach(source ${test_sources})
    get_filename_component(test_name ${source} NAME_WE)
    wend_test_executable(${test_name} ${source} ${support_sources})
    target_link_libraries(${test_name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${test_name}
      DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES ${properties})
  endforeach()
endfunction()
