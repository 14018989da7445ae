// PRINT's text pipeline: escaped text -> characters -> cells on the screen.
#pragma once

#include <cstdint>

#include "platform/console.h"

// Where PRINT's next cell goes. Arithmetic on the position wraps at 16 bits.
struct TextCursor {
    int16_t startColumn;  // where a new line starts again
    int16_t column;
    int16_t row;
    uint16_t attribute;  // of every cell written
};

extern TextCursor textCursor;

// Draws character c at the tracked position and moves on. 0 leaves the
// cell as it is (transparent), 10 starts a new line at the start column,
// positions left of or above the screen are skipped. Returns c.
int putCell(int c);

// Draws a character of the screen's own set (literal text) at the tracked
// position and moves on by its width; left of or above the screen it is
// skipped.
void putCharacter(Character character);

// Decodes one PRINT text (backslash escapes) into putCell and putCharacter
// calls.
void writeEscapedText(const char *text);
