# Cross toolchain for the 32-bit Windows build: Debian's mingw-w64 i686 compiler.
set(QUORVIL_MINGW_HOST i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORVIL_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
