# Small helpers so that a library, test, benchmark or fuzzer is one line.

function(quorvil_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Wformat=2 -Werror=format-security)
  if(QUORVIL_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# quorvil_library(name SOURCES... [DEPS ...])
function(quorvil_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  quorvil_warnings(${name})
endfunction()

# quorvil_test(name SOURCES... [DEPS ...] [LABELS ...] [RESOURCE_LOCK ...])
function(quorvil_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS;RESOURCE_LOCK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quorvil_test_support GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quorvil_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QUORVIL_BUILD_DIR=${PROJECT_BINARY_DIR};QUORVIL_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORVIL_ROOT=${CMAKE_CURRENT_BINARY_DIR}/${name}.root")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if(ARG_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
endfunction()

# quorvil_benchmark(name SOURCES... [DEPS ...])
function(quorvil_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  quorvil_warnings(${name})
endfunction()

# quorvil_fuzzer(name SOURCES... [DEPS ...])
# With QUORVIL_BUILD_FUZZERS (Clang): a libFuzzer program. Otherwise a replay
# program that runs every input of fuzz/corpus/<name>/ once, as a CTest test,
# so that each past finding stays a regression test.
function(quorvil_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(QUORVIL_BUILD_FUZZERS)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${name}_replay COMMAND ${name} ${corpus})
    set_tests_properties(${name}_replay PROPERTIES TIMEOUT 300 LABELS fuzz
      ENVIRONMENT "QUORVIL_ROOT=${CMAKE_CURRENT_BINARY_DIR}/${name}.root")
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

# A shared library must resolve every symbol itself. Clang keeps its sanitizer
# runtimes in the executable, so only other builds can insist on it.
function(quorvil_no_undefined target)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_link_options(${target} PRIVATE -Wl,-z,defs)
  endif()
endfunction()
