# Writes the manual page OUT (cmake -P at build time; the install includes
# it): pandoc reads doc/conx.1.md and the README sections it names
# (doc/manual.lua), with the date and version of conx.1.yaml in BUILD and
# EXAMPLES, the folder the shell examples are installed in.
cmake_policy(VERSION 3.25)
get_filename_component(folder "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND "${PANDOC}" --from gfm --to man --standalone --wrap=preserve
        --lua-filter "${SOURCE}/doc/manual.lua" --metadata-file "${BUILD}/conx.1.yaml"
        --metadata "readme=${SOURCE}/README.md" --metadata "examples=${EXAMPLES}"
        --output "${OUT}" "${SOURCE}/doc/conx.1.md"
    COMMAND_ERROR_IS_FATAL ANY)
