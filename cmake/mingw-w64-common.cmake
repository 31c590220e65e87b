# What the mingw-w64 toolchains share; each sets BRAWLHUE_MINGW_PREFIX (the compilers' prefix),
# CMAKE_SYSTEM_PROCESSOR, BRAWLHUE_WINE_LIBS (where Wine keeps stdole2.tlb for widl) and
# BRAWLHUE_WINEARCH and BRAWLHUE_WINE_LOADER (how tools/wine-run starts this word size) first.
set(CMAKE_SYSTEM_NAME Windows)

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
