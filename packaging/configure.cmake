# Configures the release's text files for one Windows build folder, with the version of the
# project that was built there, so that no file name or text carries a version of its own.
#
#   cmake -DBUILD_DIR=build/win32 -DOUTPUT_DIR=DIR -P packaging/configure.cmake
#
# Writes into OUTPUT_DIR: README.txt, install.cmd and uninstall.cmd (Windows line endings, as
# Notepad and cmd.exe expect), brawlhue.nsi, and packaging.env, the shell settings that the
# packaging scripts read (version, the Windows compiler and strip).
cmake_minimum_required(VERSION 3.25)

foreach(required BUILD_DIR OUTPUT_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${required} is not set")
    endif()
endforeach()
get_filename_component(BUILD_DIR "${BUILD_DIR}" ABSOLUTE)
get_filename_component(OUTPUT_DIR "${OUTPUT_DIR}" ABSOLUTE)

load_cache("${BUILD_DIR}" READ_WITH_PREFIX BUILD_
    CMAKE_PROJECT_NAME CMAKE_PROJECT_VERSION CMAKE_TOOLCHAIN_FILE)
if(NOT BUILD_CMAKE_PROJECT_NAME STREQUAL "Brawlhue" OR NOT BUILD_CMAKE_PROJECT_VERSION)
    message(FATAL_ERROR "${BUILD_DIR} is not a configured Brawlhue build")
endif()
if(NOT BUILD_CMAKE_TOOLCHAIN_FILE)
    message(FATAL_ERROR "${BUILD_DIR} is not a Windows cross build")
endif()
# The compiler is no cache entry: the toolchain file names it, and the tools' prefix.
include("${BUILD_CMAKE_TOOLCHAIN_FILE}")
find_program(windows_strip NAMES ${BRAWLHUE_MINGW_PREFIX}-strip REQUIRED NO_CACHE)

set(PROJECT_VERSION "${BUILD_CMAKE_PROJECT_VERSION}")
# The four numbers that a Windows version resource wants.
set(SETUP_FILE_VERSION "${PROJECT_VERSION}")
string(REPLACE "." ";" version_numbers "${PROJECT_VERSION}")
list(LENGTH version_numbers version_count)
while(version_count LESS 4)
    string(APPEND SETUP_FILE_VERSION ".0")
    math(EXPR version_count "${version_count} + 1")
endwhile()

set(templates "${CMAKE_CURRENT_LIST_DIR}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
foreach(text README.txt install.cmd uninstall.cmd)
    configure_file("${templates}/${text}.in" "${OUTPUT_DIR}/${text}" @ONLY NEWLINE_STYLE CRLF)
endforeach()
configure_file("${templates}/brawlhue.nsi.in" "${OUTPUT_DIR}/brawlhue.nsi" @ONLY)

file(WRITE "${OUTPUT_DIR}/packaging.env"
    "BRAWLHUE_VERSION='${PROJECT_VERSION}'\n"
    "BRAWLHUE_WINDOWS_CXX='${CMAKE_CXX_COMPILER}'\n"
    "BRAWLHUE_WINDOWS_STRIP='${windows_strip}'\n")
