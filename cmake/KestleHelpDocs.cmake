# The kestle man page (kestle.1, through help2man) and bash completion, both
# written from the tool's help texts whenever the tool is rebuilt, and their
# installation. Included by KestleInstall.cmake when the tool is built.
find_program(KESTLE_HELP2MAN help2man)
if(NOT KESTLE_HELP2MAN)
  message(FATAL_ERROR "help2man not found: install it (the man page is made from the help "
                      "texts), or configure with -DKESTLE_BUILD_CLI=OFF")
endif()

set(kestle_man ${CMAKE_CURRENT_BINARY_DIR}/man/kestle.1)
set(kestle_completion ${CMAKE_CURRENT_BINARY_DIR}/completion/kestle)
add_custom_command(
  OUTPUT ${kestle_man} ${kestle_completion}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
          ${CMAKE_CURRENT_BINARY_DIR}/completion
  COMMAND ${CMAKE_COMMAND} -DKESTLE=$<TARGET_FILE:kestle> -DHELP2MAN=${KESTLE_HELP2MAN}
          -DMAN_OUT=${kestle_man} -DCOMPLETION_OUT=${kestle_completion}
          -P ${PROJECT_SOURCE_DIR}/cmake/kestle_help_docs.cmake
  DEPENDS kestle ${PROJECT_SOURCE_DIR}/cmake/kestle_help_docs.cmake
  COMMENT "Man page and bash completion from kestle's help texts")
add_custom_target(kestle_docs ALL DEPENDS ${kestle_man} ${kestle_completion})

install(FILES ${kestle_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(FILES ${kestle_completion}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT runtime)
