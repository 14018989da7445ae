// Terminal output encoding: console cells turned into the shortest VT/xterm
// byte stream that shows them, and the other sequences conx sends, with
// what decides them. Pure functions over a caller's buffer: no writing, no
// terminal queries.
#pragma once

#include <cstdint>

#include "platform/console.h"

// ---- Sequences sent -------------------------------------------------------------
//   ESC [ r ; c H             CUP            cursor to row r, column c (1-based;
//                                            "ESC [ H" is 1;1, "ESC [ r H" column 1)
//   ESC [ n C                 CUF            cursor n columns right (n omitted: 1)
//   ESC [ p ; ... m           SGR            0 reset, 4 underline, 7 reverse, 53
//                                            overline, 30-37 / 90-97 foreground,
//                                            40-47 / 100-107 background
//   ESC 7 / ESC 8             DECSC / DECRC  save / restore cursor, SGR, origin
//                                            mode and pending wrap around cells
//   ESC [ ? 6 l               DECOM          positions count from the screen's
//                                            corner, not from the margins
//   ESC [ ? 25 h / l          DECTCEM        show / hide the cursor
//   ESC [ n SP q              DECSCUSR       1 blinking block, 3 blinking underline
//   ESC ] 50 ; # n ESC \      xterm          select entry n of the font menu
//   ESC [ ? 1000 h / l        mouse          press and release reports
//   ESC [ ? 1002 h / l        mouse          ... and motion while a button is down
//   ESC [ ? 1006 h / l        mouse          reports in the SGR form
//   ESC [ ? 1004 h / l        focus          ESC [ I / ESC [ O on focus change
//   ESC [ c                   DA1            device attributes, answered with
//                                            ESC [ ? ... c after what came before
const char START_CELLS[] = "\x1b" "7" "\x1b[?6l";
const char END_CELLS[] = "\x1b" "8";
const char SHOW_CURSOR[] = "\x1b[?25h";
const char HIDE_CURSOR[] = "\x1b[?25l";
const char BLINKING_BLOCK[] = "\x1b[1 q";
const char BLINKING_UNDERLINE[] = "\x1b[3 q";
const char FONT_FORMAT[] = "\x1b]50;#%u\x1b\\";
const char MOUSE_ON[] = "\x1b[?1000h\x1b[?1002h\x1b[?1006h";
const char MOUSE_OFF[] = "\x1b[?1006l\x1b[?1002l\x1b[?1000l";
const char FOCUS_ON[] = "\x1b[?1004h";
const char FOCUS_OFF[] = "\x1b[?1004l";
const char ATTRIBUTES_REQUEST[] = "\x1b[c";

// ---- Character sets --------------------------------------------------------------

// The character sets a terminal may use, as its locale names them.
enum Charset {
    CHARSET_UTF8,
    CHARSET_LATIN1,  // ISO 8859-1: 80-9F are controls
    CHARSET_LATIN9,  // ISO 8859-15: Latin-1 with the euro and seven others
    CHARSET_CP1252,
    CHARSET_ASCII,   // the C and POSIX locales, and sets conx does not know
};

// The character set of a locale name (the value of LC_ALL, LC_CTYPE or
// LANG): its codeset after the dot, in any case and punctuation
// ("en_US.UTF-8", "de_DE.iso885915@euro"); a name without one is Latin-1,
// as the C library takes it, but "C", "POSIX" and "" are ASCII.
Charset charsetFromLocale(const char *name);

// The byte that shows `codePoint` in `charset`; '?' where the set has no
// such character. Never a control byte.
uint8_t byteInCharset(Charset charset, uint32_t codePoint);

// The character a byte typed in an 8-bit `charset` stands for.
uint32_t codePointOfByte(Charset charset, uint8_t byte);

// How many bytes of PRINT's literal text at `text` make one character of
// `charset`, stored in *character with its width. 0 where PRINT reads the
// byte as Windows-1252: an ASCII byte (the same either way), a byte of no
// character of the set (a broken UTF-8 sequence; 80-9F, the controls of
// Latin-1 and Latin-9; 80-FF in ASCII), and any byte in Windows-1252.
int characterAt(Charset charset, const char *text, Character *character);

// The cells a character takes in a terminal (widths.cpp): 2 for East Asian
// Wide and Fullwidth characters, 0 for combining marks and other
// zero-width characters, 1 for the rest.
int cellWidth(uint32_t codePoint);

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
    Charset charset;  // what the terminal's bytes mean
};

// Room a single appendCell or appendCharacterCell may need (cursor move +
// SGR + a 4-byte glyph).
const int MAX_CELL_BYTES = 48;

void startStream(ScreenStream *s, char *bytes, int capacity, int columns, int rows,
                 Charset charset = CHARSET_UTF8);

// Appends the bytes that draw `byte` in `attribute` at (column, row), which
// must be on the screen: a cursor move only when the cursor is elsewhere,
// an SGR only when the attribute changes, then the glyph in the stream's
// character set. Moves never rely on a line feed or on the margins: a row
// change is an absolute move, so nothing scrolls whatever margins are set.
void appendCell(ScreenStream *s, int column, int row, uint8_t byte, uint16_t attribute);

// Appends the bytes that draw a character of the stream's set (characterAt)
// at (column, row), over its width, as appendCell does; one that does not
// fit whole on the screen is dropped, so a wide one never wraps. A width-0
// character joins the glyph just appended when that glyph ended at
// (column, row), and is dropped otherwise.
void appendCharacterCell(ScreenStream *s, int column, int row, Character character,
                         uint16_t attribute);

// Appends the character of a 1252 byte in the stream's character set,
// where the cursor is.
void appendCharacter(ScreenStream *s, uint8_t byte);

// Appends raw bytes (escape sequences of the caller's own).
void appendText(ScreenStream *s, const char *text);

// Appends the full SGR for a Windows attribute (resets everything first).
void appendAttribute(ScreenStream *s, uint16_t attribute);

// Appends CUP for a zero-based position.
void appendCursorPosition(ScreenStream *s, int column, int row);

// ---- The cursor and the modes a run gives back ------------------------------------

// Appends what gives the cursor `shape`: its size as a DECSCUSR shape (an
// underline up to LARGEST_UNDERLINE, a block above it, both blinking as the
// Windows console's cursor blinks), its visibility as DECTCEM. A size of
// 0, or a visibility not known, is left as the terminal has it. The Linux
// console ignores DECSCUSR; its own size sequence, ESC [ ? n c, is not
// sent: nothing tells that console from a terminal that reads it otherwise
// (st answers ESC [ ? 0 c as a device attributes request, into the input).
const uint32_t LARGEST_UNDERLINE = 50;
void appendCursorShape(ScreenStream *s, CursorShape shape);

// Appends what a run stopped by Ctrl+Z leaves the shell: mouse and focus
// reporting off and the cursor shown, whatever this run or a loop before
// it switched on; and, when the run goes on, the reporting it is to have
// back on.
void appendStopped(ScreenStream *s);
void appendContinued(ScreenStream *s, bool mouse, bool focus);
