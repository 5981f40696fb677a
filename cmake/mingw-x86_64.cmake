# Cross toolchain for the 64-bit Windows build: Debian's mingw-w64 x86_64
# compiler. scripts/test-win32 falls back to it where the kernel cannot run
# 32-bit programs, and so 32-bit Wine.
set(QUORVIL_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Not /usr/bin/wine, which prefers the 32-bit loader whenever it is installed.
set(QUORVIL_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
