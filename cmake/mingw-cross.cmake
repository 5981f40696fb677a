# The Windows cross build shared by the mingw-i686 and mingw-x86_64 toolchain
# files, which set QUORVIL_MINGW_HOST (the target triple), the processor and
# QUORVIL_WINE, Wine's loader for programs of that processor.
set(CMAKE_SYSTEM_NAME Windows)

# The posix-threads flavour: its C++ runtime has std::thread, std::mutex and
# thread_local with destructors.
set(CMAKE_C_COMPILER ${QUORVIL_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVIL_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVIL_MINGW_HOST}-windres)
set(CMAKE_AR ${QUORVIL_MINGW_HOST}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUORVIL_MINGW_HOST}-gcc-ranlib-posix CACHE FILEPATH "")

# libxml2, the gSOAP runtime and GoogleTest cross-built by
# scripts/build-win32-deps, which answers their prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVIL_WIN32_DEPS)
if(NOT QUORVIL_WIN32_DEPS AND DEFINED ENV{QUORVIL_WIN32_DEPS})
  set(QUORVIL_WIN32_DEPS "$ENV{QUORVIL_WIN32_DEPS}")
endif()
if(NOT QUORVIL_WIN32_DEPS)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-win32-deps ${QUORVIL_MINGW_HOST}
    OUTPUT_VARIABLE QUORVIL_WIN32_DEPS OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE deps_rc)
  if(NOT deps_rc EQUAL 0)
    message(FATAL_ERROR "scripts/build-win32-deps failed (${deps_rc})")
  endif()
endif()
set(QUORVIL_WIN32_DEPS "${QUORVIL_WIN32_DEPS}" CACHE PATH "cross-built libxml2, gSOAP, GoogleTest")
set(ENV{QUORVIL_WIN32_DEPS} "${QUORVIL_WIN32_DEPS}")

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVIL_MINGW_HOST} ${QUORVIL_WIN32_DEPS})
set(CMAKE_PREFIX_PATH ${QUORVIL_WIN32_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${QUORVIL_WIN32_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# CTest runs the test programs under Wine; another emulator may be given
# with -DCMAKE_CROSSCOMPILING_EMULATOR.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ${QUORVIL_WINE} ${QUORVIL_MINGW_HOST})
endif()
