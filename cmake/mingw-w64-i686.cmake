# Cross build for 32-bit Windows with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRAWLHUE_MINGW_PREFIX i686-w64-mingw32)
# Where wine32 keeps stdole2.tlb; a machine where wine32 could not be installed has the file from
# its package in tools/ensure-packages' cache.
set(BRAWLHUE_WINE_LIBS /usr/lib/i386-linux-gnu/wine/i386-windows)
if(NOT EXISTS ${BRAWLHUE_WINE_LIBS}/stdole2.tlb)
    set(BRAWLHUE_WINE_LIBS /var/cache/brawlhue/wine-i386)
endif()
set(BRAWLHUE_WINEARCH win32)
set(BRAWLHUE_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
