# Installation of the POSIX build: the libraries with their public headers,
# the CMake package (Kestle::core, Kestle::sqlite), kestle.pc, and the kestle
# tool with its man page and bash completion. Included from the top-level
# CMakeLists.txt once every library target exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The libraries' own version and ABI number (the soname's suffix).
set(KESTLE_LIBRARY_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(KESTLE_SOVERSION ${PROJECT_VERSION_MAJOR})

# The platform's Env as a library of its own, for the installed package: a
# program built outside this tree gets Env::Default from it. Programs built
# here keep naming the kestle_env object library; its definition then comes
# first and this library's copy is never pulled in.
add_library(kestle_env_library ${env_srcs})
target_link_libraries(kestle_env_library PUBLIC kestle_platform)
set_target_properties(kestle_env_library PROPERTIES OUTPUT_NAME kestle_env EXPORT_NAME env)
# The SQLite engine opens files through Env::Default.
target_link_libraries(kestle_sqlite PUBLIC kestle_env_library)
# Every public header is C++20.
target_compile_features(kestle_platform PUBLIC cxx_std_20)

# Kestle::core: the component (IIF conversion, archiving, backup, shipping)
# with the platform's Env.
add_library(kestle_core_package INTERFACE)
target_link_libraries(kestle_core_package INTERFACE kestle_component kestle_env_library)
set_target_properties(kestle_core_package PROPERTIES EXPORT_NAME core)
set_target_properties(kestle_sqlite PROPERTIES EXPORT_NAME sqlite)

# The installed libraries, leaves last (the link order of kestle.pc).
set(KESTLE_INSTALLED_LIBRARIES
    kestle_sqlite kestle_component kestle_iif kestle_archive kestle_backup kestle_shipping
    kestle_db kestle_env_library kestle_platform)
foreach(lib ${KESTLE_INSTALLED_LIBRARIES})
  # Shared libraries find each other in their own folder, in the build tree
  # and in any prefix.
  set_target_properties(${lib} PROPERTIES
    VERSION ${KESTLE_LIBRARY_VERSION} SOVERSION ${KESTLE_SOVERSION}
    INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
endforeach()

install(TARGETS ${KESTLE_INSTALLED_LIBRARIES} kestle_core_package
  EXPORT KestleTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/kestle)

# The public headers: what the classes of Kestle::core and Kestle::sqlite
# declare and include, installed under include/kestle/ in the source tree's
# layout (so that their own #include lines resolve through include/kestle).
# A consumer writes #include <kestle/component/archiver.h>.
set(KESTLE_PUBLIC_HEADERS
    component/archiver.h component/parse_iif.h component/result_codes.h component/shipping.h
    db/database.h db/jet_errors.h db/sqlite/row_stream.h db/sqlite/snapshot.h
    db/sqlite/sqlite_database.h
    platform/date.h platform/env.h platform/error.h)
foreach(header ${KESTLE_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES src/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestle/${folder}
          COMPONENT dev)
endforeach()
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/generated/kestle_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestle COMPONENT dev)

# The CMake package.
set(KESTLE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kestle)
install(EXPORT KestleTargets NAMESPACE Kestle:: DESTINATION ${KESTLE_CMAKE_DIR}
        COMPONENT dev)
configure_package_config_file(cmake/KestleConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KestleConfig.cmake INSTALL_DESTINATION ${KESTLE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KestleConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KestleConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/KestleConfigVersion.cmake
        DESTINATION ${KESTLE_CMAKE_DIR} COMPONENT dev)

# kestle.pc, relocatable: its prefix is found from the file's own place.
file(RELATIVE_PATH KESTLE_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" KESTLE_PC_TO_PREFIX "${KESTLE_PC_TO_PREFIX}")
set(KESTLE_PC_LIBS "")
foreach(lib ${KESTLE_INSTALLED_LIBRARIES})
  get_target_property(name ${lib} OUTPUT_NAME)
  if(NOT name)
    set(name ${lib})
  endif()
  string(APPEND KESTLE_PC_LIBS " -l${name}")
endforeach()
# The engine commits idle groups of statements from a thread of its own.
string(APPEND KESTLE_PC_LIBS " -pthread")
# Static libraries leave SQLite to the program's link line; shared ones
# carry it themselves.
if(BUILD_SHARED_LIBS)
  set(KESTLE_PC_REQUIRES "Requires.private: sqlite3")
else()
  set(KESTLE_PC_REQUIRES "Requires: sqlite3")
endif()
configure_file(cmake/kestle.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kestle.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kestle.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(KESTLE_BUILD_CLI)
  if(BUILD_SHARED_LIBS)
    # The installed tool finds the shared libraries beside it in any prefix.
    set_target_properties(kestle PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
  install(TARGETS kestle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  include(cmake/KestleHelpDocs.cmake)
endif()

include(cmake/KestlePackage.cmake)
