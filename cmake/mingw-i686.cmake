# Cross toolchain for the 32-bit Windows build: Debian's mingw-w64 i686 compiler.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

# The posix-threads flavour: its C++ runtime has std::thread, std::mutex and
# thread_local with destructors.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_AR i686-w64-mingw32-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB i686-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "")

# libxml2, the gSOAP runtime and GoogleTest cross-built by
# scripts/build-win32-deps, which answers their prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVIL_WIN32_DEPS)
if(NOT QUORVIL_WIN32_DEPS AND DEFINED ENV{QUORVIL_WIN32_DEPS})
  set(QUORVIL_WIN32_DEPS "$ENV{QUORVIL_WIN32_DEPS}")
endif()
if(NOT QUORVIL_WIN32_DEPS)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-win32-deps
    OUTPUT_VARIABLE QUORVIL_WIN32_DEPS OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE deps_rc)
  if(NOT deps_rc EQUAL 0)
    message(FATAL_ERROR "scripts/build-win32-deps failed (${deps_rc})")
  endif()
endif()
set(QUORVIL_WIN32_DEPS "${QUORVIL_WIN32_DEPS}" CACHE PATH "cross-built libxml2, gSOAP, GoogleTest")
set(ENV{QUORVIL_WIN32_DEPS} "${QUORVIL_WIN32_DEPS}")

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${QUORVIL_WIN32_DEPS})
set(CMAKE_PREFIX_PATH ${QUORVIL_WIN32_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${QUORVIL_WIN32_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
