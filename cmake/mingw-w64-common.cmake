# The part of the mingw-w64 toolchain files that both targets share; the
# including file sets KESTLE_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

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
