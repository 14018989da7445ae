// The cells a character takes in the Windows console: pure code, which the
// unit tests check on Linux against the C library's widths.
#pragma once

#include <cstdint>

// 2 in the East Asian wide and fullwidth blocks of the table in
// cellwidth.cpp, 1 everywhere else (a combining mark too: a console cell
// holds one character).
int consoleCellWidth(uint32_t codePoint);
