# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads): the same sources as the
# 32-bit module, for running its tests under 64-bit Wine where 32-bit programs cannot run.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRAWLHUE_MINGW_PREFIX x86_64-w64-mingw32)
set(BRAWLHUE_WINE_LIBS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
# The plain launcher insists on the 32-bit loader whenever that is installed.
set(BRAWLHUE_WINEARCH win64)
set(BRAWLHUE_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
