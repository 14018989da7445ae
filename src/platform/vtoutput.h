// Terminal output encoding: console cells turned into the shortest VT/xterm
// byte stream that shows them. Pure functions over a caller's buffer: no
// writing, no terminal queries.
#pragma once

#include <cstdint>

// ---- Windows-1252 ------------------------------------------------------------

// The character a cell byte shows, as a Unicode code point: 1252's own
// characters, the CP437 pictures for the control bytes (00 a blank, 7F a
// house) and '?' for the five bytes 1252 leaves undefined. Never a control.
uint32_t glyphFromWindows1252(uint8_t byte);

// The 1252 byte for a typed code point; '?' when the code page has none.
uint8_t windows1252FromUnicode(uint32_t codePoint);

// ---- Attributes -----------------------------------------------------------------

// ANSI colour index (0 black, 1 red, ... bit 0 red, bit 2 blue) of a Windows
// colour index (bit 0 blue, bit 2 red): bits 0 and 2 swap.
int ansiColour(int windowsColour);

// ---- The screen stream -------------------------------------------------------------

const int UNKNOWN_ATTRIBUTE = -1;

// What the terminal is known to be showing while a stream is built. The
// cursor column equals `columns` when the last glyph went to the last
// column: the terminal then holds a pending wrap at columns - 1.
struct ScreenStream {
    char *bytes;      // the caller's buffer
    int capacity;
    int length;       // bytes used
    int columns;      // screen size, for the pending-wrap rule
    int rows;
    int column;       // where the terminal cursor is; -1 when not known
    int row;
    int attribute;    // SGR in force, as a Windows attribute, or UNKNOWN_ATTRIBUTE
    bool lineFeedReturns;  // the tty turns LF into CR LF (OPOST and ONLCR)
};

// Room a single appendCell may need (cursor move + SGR + a 3-byte glyph).
const int MAX_CELL_BYTES = 48;

void startStream(ScreenStream *s, char *bytes, int capacity, int columns, int rows);

// Appends the bytes that draw `byte` in `attribute` at (column, row), which
// must be on the screen: a cursor move only when the cursor is elsewhere,
// an SGR only when the attribute changes, then the glyph as UTF-8.
void appendCell(ScreenStream *s, int column, int row, uint8_t byte, uint16_t attribute);

// Appends the character of a 1252 byte in UTF-8, where the cursor is.
void appendCharacter(ScreenStream *s, uint8_t byte);

// Appends raw bytes (escape sequences of the caller's own).
void appendText(ScreenStream *s, const char *text);

// Appends the full SGR for a Windows attribute (resets everything first).
void appendAttribute(ScreenStream *s, uint16_t attribute);

// Appends CUP for a zero-based position.
void appendCursorPosition(ScreenStream *s, int column, int row);
