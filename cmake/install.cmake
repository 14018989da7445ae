# Installing the Unix program (cmake --install): the program, its manual
# page and, under share/doc/conx, the README, the license and the shell
# examples.
include(GNUInstallDirs)

# The manual page carries the project's version, a date (the day of
# SOURCE_DATE_EPOCH when that is set, a release; else today) and the folder
# the shell examples are installed in. Only the install knows that folder
# (cmake --install --prefix DIR; a package's tree puts DESTDIR before it),
# so the installed page is configured then; conx.1 in the build folder
# names the configured prefix's (/usr/local, the release tarball's).
string(TIMESTAMP CONX_MAN_DATE "%Y-%m-%d" UTC)
configure_file(doc/conx.1.in conx.1 @ONLY)
install(CODE "
    set(CONX_MAN_DATE ${CONX_MAN_DATE})
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(CMAKE_INSTALL_FULL_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\")
    configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/doc/conx.1.in\" \"${CMAKE_CURRENT_BINARY_DIR}/installed/conx.1\" @ONLY)
")

install(TARGETS conx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/installed/conx.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(GLOB CONX_SHELL_EXAMPLES CONFIGURE_DEPENDS examples/*.sh)
install(FILES ${CONX_SHELL_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
