# CMake toolchain file: cross-compiles Kestle for x86_64 Windows with mingw-w64
# (Debian packages g++-mingw-w64-x86-64 and mingw-w64-tools).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTLE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
