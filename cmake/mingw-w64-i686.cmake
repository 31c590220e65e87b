# Cross build for 32-bit Windows with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRAWLHUE_MINGW_PREFIX i686-w64-mingw32)
set(BRAWLHUE_WINE_LIBS /usr/lib/i386-linux-gnu/wine/i386-windows)
set(BRAWLHUE_WINEARCH win32)
set(BRAWLHUE_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
