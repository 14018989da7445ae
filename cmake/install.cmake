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
# release; else today), the version, and the examples' folder of conx.1 in
# the build folder. This file is written only when one of them changes, and
# then the page is written again.
string(TIMESTAMP CONX_MAN_DATE "%Y-%m-%d" UTC)
file(CONFIGURE OUTPUT conx.1.yaml @ONLY CONTENT [[
date: "@CONX_MAN_DATE@"
footer: "conx @PROJECT_VERSION@"
examples: "@CMAKE_INSTALL_FULL_DOCDIR@/examples"
]])

# conx.1.in names the examples' folder @DOCDIR@/examples. Only the install
# knows that folder (cmake --install --prefix DIR; a package's tree puts
# DESTDIR before it), so the installed page gets it then; conx.1 in the
# build folder names the configured prefix's (/usr/local, the release
# tarball's).
set(CONX_MAN_SOURCES doc/conx.1.md doc/manual.lua README.md cmake/manual.cmake)
list(TRANSFORM CONX_MAN_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_custom_command(OUTPUT conx.1.in conx.1
    COMMAND ${CONX_PANDOC} --from gfm --to man --standalone
        --lua-filter ${CMAKE_CURRENT_SOURCE_DIR}/doc/manual.lua
        --metadata-file ${CMAKE_CURRENT_BINARY_DIR}/conx.1.yaml
        --metadata readme=${CMAKE_CURRENT_SOURCE_DIR}/README.md
        --output conx.1.in ${CMAKE_CURRENT_SOURCE_DIR}/doc/conx.1.md
    COMMAND ${CMAKE_COMMAND} -D PAGE=conx.1.in -D OUT=conx.1 -D DOCDIR=${CMAKE_INSTALL_FULL_DOCDIR}
        -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/manual.cmake
    DEPENDS ${CONX_MAN_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/conx.1.yaml
    COMMENT "Writing the manual page conx.1 from doc/conx.1.md and README.md"
    VERBATIM)
add_custom_target(manual ALL DEPENDS conx.1)
install(CODE "
    set(PAGE \"${CMAKE_CURRENT_BINARY_DIR}/conx.1.in\")
    set(OUT \"${CMAKE_CURRENT_BINARY_DIR}/installed/conx.1\")
    set(DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\")
    include(\"${CMAKE_CURRENT_SOURCE_DIR}/cmake/manual.cmake\")
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/installed/conx.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
