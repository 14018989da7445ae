# Installing the Unix program (cmake --install): the program, its manual
# page and, under share/doc/conx, the README, the license and the shell
# examples.
include(GNUInstallDirs)

# The manual page carries the project's version and a date: the day of
# SOURCE_DATE_EPOCH when that is set (a release), else today.
string(TIMESTAMP CONX_MAN_DATE "%Y-%m-%d" UTC)
configure_file(doc/conx.1.in conx.1 @ONLY)

install(TARGETS conx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/conx.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(GLOB CONX_SHELL_EXAMPLES CONFIGURE_DEPENDS examples/*.sh)
install(FILES ${CONX_SHELL_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
