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

# wend_tests(DIR dir LIBS lib... [LABELS label...])
# One test executable per *Test.cc in DIR, registered with CTest test by test.
function(wend_tests)
  cmake_parse_arguments(ARG "" "DIR" "LIBS;LABELS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*Test.cc)
  file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/support/*.cc)
  foreach(source ${test_sources})
    get_filename_component(test_name ${source} NAME_WE)
    add_executable(${test_name} ${source} ${support_sources})
    target_compile_options(${test_name} PRIVATE ${WEND_WARNINGS})
    target_include_directories(${test_name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${test_name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${test_name}
      DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
  endforeach()
endfunction()
