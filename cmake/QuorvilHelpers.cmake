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

# Under an emulator every program, and every child it starts, takes seconds
# to start; an emulated machine (scripts/test-win32-vm) is slower again.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(QUORVIL_TEST_TIME_FACTOR 3 CACHE STRING "Multiplies every test's time limit")
else()
  set(QUORVIL_TEST_TIME_FACTOR 1 CACHE STRING "Multiplies every test's time limit")
endif()

# The systems a test registration can name: linux, or windows and with it
# win32 or win64 (the preset's DLLs) and wine where Wine runs the programs.
function(quorvil_test_systems out)
  if(WIN32)
    set(systems windows)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      list(APPEND systems win64)
    else()
      list(APPEND systems win32)
    endif()
    if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
      list(APPEND systems wine)
    endif()
  else()
    string(TOLOWER "${CMAKE_SYSTEM_NAME}" systems)
  endif()
  set(${out} ${systems} PARENT_SCOPE)
endfunction()

# One line per test program not built here, or gtest case left out here:
# program, case (empty for a whole program), reason. scripts/test-win32
# reports them.
function(quorvil_record_skip program case reason)
  set(file ${PROJECT_BINARY_DIR}/tests/skips.tsv)
  get_property(started GLOBAL PROPERTY QUORVIL_SKIPS_STARTED)
  if(NOT started)
    file(WRITE ${file} "")
    set_property(GLOBAL PROPERTY QUORVIL_SKIPS_STARTED TRUE)
  endif()
  file(APPEND ${file} "${program}\t${case}\t${reason}\n")
endfunction()

# quorvil_system_sources(out sources...): the sources this system builds,
# leaving out the other systems' (*_posix.cpp, *_linux.cpp, *_win.cpp).
function(quorvil_system_sources out)
  set(sources ${ARGN})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_(posix|linux)\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
      list(FILTER sources EXCLUDE REGEX "_linux\\.cpp$")
    endif()
  endif()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# quorvil_test(name SOURCES... [DEPS libraries...] [NEEDS targets...]
#              [DEFINITIONS ...] [PROPERTIES name value...] [LABELS ...]
#              [LOCAL_SERVICE_PORT] [TIMEOUT seconds]
#              [NOT_ON system reason]... [SKIP_ON system cases reason]...)
# The one registration of a test program, for every system. NEEDS: targets
# the program runs, built before it. LOCAL_SERVICE_PORT: it serves the
# agent's fixed local service port, 127.0.0.1:8000, so such programs run one
# at a time. NOT_ON: not built on that system (see quorvil_test_systems).
# SKIP_ON: gtest cases ("Suite.Case", several joined by ':') left out there.
# Sources named by their system are built there alone (quorvil_system_sources);
# a program whose tests are all another system's (*_test_win.cpp) is not built
# here, and its NOT_ON says why.
function(quorvil_test name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "LOCAL_SERVICE_PORT" "TIMEOUT"
    "SOURCES;DEPS;NEEDS;DEFINITIONS;PROPERTIES;LABELS;NOT_ON;SKIP_ON")
  quorvil_test_systems(systems)
  while(ARG_NOT_ON)
    list(POP_FRONT ARG_NOT_ON system reason)
    if(system IN_LIST systems)
      quorvil_record_skip(${name} "" "${reason}")
      return()
    endif()
  endwhile()
  quorvil_system_sources(ARG_SOURCES ${ARG_SOURCES})
  set(tests ${ARG_SOURCES})
  list(FILTER tests INCLUDE REGEX "_test(_[a-z]+)?\\.cpp$")
  if(NOT tests)
    message(FATAL_ERROR "${name}: no test source for this system; a NOT_ON should say why")
  endif()
  set(skipped)
  while(ARG_SKIP_ON)
    list(POP_FRONT ARG_SKIP_ON system cases reason)
    if(system IN_LIST systems)
      string(REPLACE ":" ";" cases "${cases}")
      foreach(case IN LISTS cases)
        quorvil_record_skip(${name} ${case} "${reason}")
      endforeach()
      list(APPEND skipped ${cases})
    endif()
  endwhile()

  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quorvil_test_support GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  endif()
  if(ARG_PROPERTIES)
    set_target_properties(${name} PROPERTIES ${ARG_PROPERTIES})
  endif()
  if(ARG_NEEDS)
    add_dependencies(${name} ${ARG_NEEDS})
  endif()
  quorvil_warnings(${name})

  set(args)
  if(skipped)
    list(JOIN skipped ":" filter)
    set(args --gtest_filter=-${filter})
  endif()
  add_test(NAME ${name} COMMAND ${name} ${args})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * ${QUORVIL_TEST_TIME_FACTOR}")
  set(environment QUORVIL_BUILD_DIR=${PROJECT_BINARY_DIR} QUORVIL_SOURCE_DIR=${PROJECT_SOURCE_DIR})
  if(WIN32)
    # There the machine root is the real registry and C:\ itself.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT_MODIFICATION QUORVIL_ROOT=unset:)
  else()
    list(APPEND environment QUORVIL_ROOT=${CMAKE_CURRENT_BINARY_DIR}/${name}.root)
  endif()
  if(ARG_LOCAL_SERVICE_PORT)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK port8000)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
      # The emulator's programs share this machine's loopback with other
      # runs; it waits until nothing listens there.
      list(APPEND environment QUORVIL_WAIT_FOR_PORT=8000)
    endif()
  endif()
  # A program whose filter left no case has tested nothing.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}"
    FAIL_REGULAR_EXPRESSION "\\[==========\\] 0 tests from 0 test suites ran")
  if(WIN32)
    list(APPEND ARG_LABELS windows)
  endif()
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
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

# quorvil_dll_test(name target [IMPORTS dlls...])
# On Windows: the DLL exports exactly the names of its export list
# (quorvil_loadable_module), imports only system DLLs, the compiler's runtime
# DLLs and the named ones, and is built for the build's processor.
# tests/check-dll reads it on the build machine.
function(quorvil_dll_test name target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "IMPORTS" ${ARGN})
  get_target_property(exports ${target} QUORVIL_EXPORTS)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(libgcc libgcc_s_seh-1)
    set(format "PE32\\+ executable \\(DLL\\).*x86-64")
  else()
    set(libgcc libgcc_s_dw2-1)
    set(format "PE32 executable \\(DLL\\).*Intel 80386")
  endif()
  list(APPEND ARG_IMPORTS kernel32 advapi32 ws2_32 iphlpapi msvcrt user32 ${libgcc}
    "libstdc\\+\\+-6" libwinpthread-1)
  string(TOLOWER "${ARG_IMPORTS}" allowed)
  list(JOIN allowed "|" allowed)
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/check-dll ${CMAKE_OBJDUMP}
    $<TARGET_FILE:${target}> "${format}" "^(${allowed})\\.dll$" ${exports})
  set_tests_properties(${name} PROPERTIES TIMEOUT 60 LABELS windows)
endfunction()

# quorvil_loadable_module(name EXPORTS list-file SOURCES... [DEPS ...])
# A shared library that a host loads and looks up by name. Exactly the names
# of the list file (one a line, # for comments) leave it: the linker map or,
# on Windows, the .def file are made from the list when configuring, and
# quorvil_dll_test checks the DLL against it. Elsewhere its own calls bind to
# itself (-Bsymbolic) and it resolves every symbol itself.
function(quorvil_loadable_module name)
  cmake_parse_arguments(ARG "" "EXPORTS" "SOURCES;DEPS" ${ARGN})
  get_filename_component(list_file ${ARG_EXPORTS} ABSOLUTE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  file(STRINGS ${list_file} exports REGEX "^[A-Za-z_]")

  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  quorvil_warnings(${name})
  set_target_properties(${name} PROPERTIES QUORVIL_EXPORTS "${exports}")
  # Written only when the list changes, so that configuring relinks nothing.
  if(WIN32)
    set(content "EXPORTS\n")
    foreach(export IN LISTS exports)
      string(APPEND content "  ${export}\n")
    endforeach()
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    file(CONFIGURE OUTPUT ${generated} CONTENT "${content}" @ONLY)
    # The .def file names the exports, undecorated; nothing else leaves the DLL.
    target_sources(${name} PRIVATE ${generated})
    set_target_properties(${name} PROPERTIES PREFIX "")
  else()
    set(content "{\n  global:\n")
    foreach(export IN LISTS exports)
      string(APPEND content "    ${export};\n")
    endforeach()
    string(APPEND content "  local:\n    *;\n};\n")
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
    file(CONFIGURE OUTPUT ${generated} CONTENT "${content}" @ONLY)
    target_link_options(${name} PRIVATE -Wl,--version-script=${generated} -Wl,-Bsymbolic)
    quorvil_no_undefined(${name})
  endif()
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${generated})
endfunction()
