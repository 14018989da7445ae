// Runs one conx command line against the in-memory console.
#pragma once

#include <initializer_list>
#include <string>

#include "dispatch/program.h"
#include "platform/memory/memory.h"

// Runs `conx` with the given arguments (the program name is added) and
// returns the exit code. The console keeps what the test set up.
inline int run(std::initializer_list<std::string> arguments) { return runConx(arguments); }

// Attribute and byte of a cell, for compact expectations.
inline unsigned attributeAt(int column, int row) { return memoryConsole.cells[row][column].attribute; }
inline char charAt(int column, int row) { return static_cast<char>(memoryConsole.cells[row][column].ch); }
inline bool writtenAt(int column, int row) { return memoryConsole.written[row][column]; }
