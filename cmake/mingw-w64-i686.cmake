# CMake toolchain file: cross-compiles Kestle for i686 Windows with mingw-w64
# (Debian packages g++-mingw-w64-i686 and mingw-w64-tools).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KESTLE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTLE_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KESTLE_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${KESTLE_MINGW_PREFIX}-windres)
# The IDL compiler that produces the type library and the interface header.
set(KESTLE_WIDL ${KESTLE_MINGW_PREFIX}-widl CACHE FILEPATH "widl of the target toolchain")

set(CMAKE_FIND_ROOT_PATH /usr/${KESTLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
