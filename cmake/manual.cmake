# The manual page for one examples' folder (cmake -P, and the install):
# PAGE, conx.1.in as pandoc wrote it, with @DOCDIR@ made DOCDIR, into OUT.
cmake_policy(VERSION 3.25)
file(READ "${PAGE}" page)
string(REPLACE "@DOCDIR@" "${DOCDIR}" page "${page}")
file(WRITE "${OUT}" "${page}")
