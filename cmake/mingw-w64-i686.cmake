# CMake toolchain file: cross-compiles Kestle for i686 Windows with mingw-w64
# (Debian packages g++-mingw-w64-i686 and mingw-w64-tools).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTLE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
