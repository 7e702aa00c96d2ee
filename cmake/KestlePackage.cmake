# Debian packages through CPack (`cpack -G DEB` in the build tree):
#   kestle_<version>_<arch>.deb      the tool, its man page and bash completion
#                                    (and the shared libraries when built shared)
#   kestle-dev_<version>_<arch>.deb  headers, libraries, CMake and pkg-config files
# Included by KestleInstall.cmake.
set(CPACK_PACKAGE_NAME kestle)
set(CPACK_PACKAGE_VENDOR "Orvanta")
set(CPACK_PACKAGE_CONTACT "Kestle maintainers <kestle@orvanta.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "IIF conversion, order archiving, back-end backup and shipping hand-off")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime dev)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME kestle)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME kestle-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "The kestle tool: converts IIF files, archives finished orders, backs up the\n\
back-end file of a split database and runs the shipping hand-off probe.")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "The Kestle C++20 libraries (Kestle::core, Kestle::sqlite) with their headers,\n\
CMake package and pkg-config file.")
# Programs built with kestle-dev link SQLite (Kestle::sqlite's requirement),
# hence libsqlite3-dev; shared libraries themselves are in the kestle package.
if(BUILD_SHARED_LIBS)
  # dpkg-shlibdeps finds the package's own libraries in the build tree.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_CURRENT_BINARY_DIR})
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
      "kestle (= ${PROJECT_VERSION}), libsqlite3-dev")
else()
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libsqlite3-dev")
endif()

include(CPack)
