# Installing the Unix program (cmake --install): the program, its manual
# page and, under share/doc/conx, the README, the license and the shell
# examples.
include(GNUInstallDirs)

install(TARGETS conx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(GLOB CONX_SHELL_EXAMPLES CONFIGURE_DEPENDS examples/*.sh)
install(FILES ${CONX_SHELL_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The manual page, conx.1: pandoc writes it from doc/conx.1.md, which takes
# most of its text from README.md (doc/manual.lua says how). A build
# without pandoc makes the program alone, and its install puts no page.
find_program(CONX_PANDOC pandoc)
if(NOT CONX_PANDOC)
    message(NOTICE "pandoc not found: no manual page (conx.1) is built or installed")
    return()
endif()

# The page's date (the day of SOURCE_DATE_EPOCH when that is set, a
# release; else today) and the version. This file is written only when one
# of them or the build's prefix changes, and then the page is written again.
string(TIMESTAMP CONX_MAN_DATE "%Y-%m-%d" UTC)
file(CONFIGURE OUTPUT conx.1.yaml @ONLY CONTENT [[
date: "@CONX_MAN_DATE@"
footer: "conx @PROJECT_VERSION@"
# conx.1 in the build folder names @CMAKE_INSTALL_FULL_DOCDIR@/examples
]])

# The page names the folder of the shell examples. Only the install knows
# it (cmake --install --prefix DIR; a package's tree puts DESTDIR before
# it), so the installed page is written then; conx.1 in the build folder
# names the configured prefix's (/usr/local, the release tarball's).
set(CONX_MAN_SCRIPT -D PANDOC=${CONX_PANDOC} -D SOURCE=${CMAKE_CURRENT_SOURCE_DIR}
    -D BUILD=${CMAKE_CURRENT_BINARY_DIR} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/manual.cmake)
set(CONX_MAN_SOURCES doc/conx.1.md doc/manual.lua README.md cmake/manual.cmake)
list(TRANSFORM CONX_MAN_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_custom_command(OUTPUT conx.1
    COMMAND ${CMAKE_COMMAND} -D OUT=conx.1 -D EXAMPLES=${CMAKE_INSTALL_FULL_DOCDIR}/examples ${CONX_MAN_SCRIPT}
    DEPENDS ${CONX_MAN_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/conx.1.yaml
    COMMENT "Writing the manual page conx.1 from doc/conx.1.md and README.md"
    VERBATIM)
add_custom_target(manual ALL DEPENDS conx.1)
install(CODE "
    set(PANDOC \"${CONX_PANDOC}\")
    set(SOURCE \"${CMAKE_CURRENT_SOURCE_DIR}\")
    set(BUILD \"${CMAKE_CURRENT_BINARY_DIR}\")
    set(OUT \"${CMAKE_CURRENT_BINARY_DIR}/installed/conx.1\")
    set(EXAMPLES \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}/examples\")
    include(\"${CMAKE_CURRENT_SOURCE_DIR}/cmake/manual.cmake\")
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/installed/conx.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
