# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads): the same sources as the
# 32-bit module, for running its tests under 64-bit Wine where 32-bit programs cannot run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(BRAWLHUE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRAWLHUE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRAWLHUE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRAWLHUE_MINGW_PREFIX}-windres)
set(BRAWLHUE_WIDL ${BRAWLHUE_MINGW_PREFIX}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${BRAWLHUE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything links statically, so the DLL and the programs need nothing beside system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(BRAWLHUE_WINE_LIBS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(BRAWLHUE_WINEARCH win64)
set(BRAWLHUE_WINE_LOADER /usr/lib/wine/wine64)
