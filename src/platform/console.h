// The console, the clock and the keyboard: everything conx may ask of the
// machine it runs on. One implementation per platform, picked by the build:
//   win32.cpp     the Windows console (kernel32) and the system C runtime
//   terminal.cpp  a VT/xterm terminal driven through termios
//   memory.cpp    an in-memory console for the unit tests
// No call reports failure unless its contract says so; a failing call
// leaves the console as it was. "Screen" is the output side (standard
// output on Windows), "input" the keyboard and mouse side (standard input).
#pragma once

#include <cstdint>

// One character cell. Laid out like the Windows CHAR_INFO (byte character,
// a spare byte, 16-bit attribute) so a block of cells needs no copying there.
struct Cell {
    uint8_t ch;          // byte in the output code page
    uint8_t spare;       // always 0
    uint16_t attribute;  // low nibble foreground, next nibble background
};

// A screen position, zero-based from the top-left cell of the screen buffer.
struct Position {
    int16_t column;
    int16_t row;
};

// The text cursor's look: size is the percentage of the cell it fills (1-100).
struct CursorShape {
    uint32_t size;
    bool visible;
};

// Input event types, as the Windows console numbers them.
enum : uint16_t {
    KEY_EVENT_TYPE = 0x0001,
    MOUSE_EVENT_TYPE = 0x0002,
    WINDOW_BUFFER_SIZE_EVENT_TYPE = 0x0004,
    MENU_EVENT_TYPE = 0x0008,
    FOCUS_EVENT_TYPE = 0x0010,
};

// One input event: its type and its payload bytes, laid out as the Windows
// INPUT_RECORD's event union. For a mouse event bytes 0-1 are the column,
// 2-3 the row, 4-7 the button state, 8-11 the control keys, 12-15 the flags;
// for a key event bytes 0-3 are "key down", 4-5 the repeat count, 6-7 the
// virtual key, 8-9 the scan code, 10-11 the character, 12-15 the control keys.
struct InputEvent {
    uint16_t type;
    uint8_t payload[16];
};

// Byte offsets in InputEvent::payload.
enum : int {
    MOUSE_COLUMN_AT = 0,    // int16_t
    MOUSE_ROW_AT = 2,       // int16_t
    MOUSE_BUTTONS_AT = 4,   // uint32_t button state, wheel motion in the upper half
    MOUSE_CONTROL_AT = 8,   // uint32_t control keys
    MOUSE_FLAGS_AT = 12,    // uint32_t moved / double-click / wheel flags
    KEY_DOWN_AT = 0,        // uint32_t, 1 pressed, 0 released
    KEY_REPEAT_AT = 4,      // uint16_t
    KEY_VIRTUAL_AT = 6,     // uint16_t virtual key code
    KEY_CHARACTER_AT = 10,  // uint16_t character
    FOCUS_SET_AT = 0,       // uint32_t, 1 gained, 0 lost
    SIZE_COLUMNS_AT = 0,    // int16_t new buffer width
    SIZE_ROWS_AT = 2,       // int16_t new buffer height
};

// Local date and time, fields as the Windows SYSTEMTIME orders them.
struct DateTime {
    uint16_t year;
    uint16_t month;      // 1-12
    uint16_t dayOfWeek;  // 0 Sunday - 6 Saturday
    uint16_t day;        // 1-31
    uint16_t hour;       // 0-23
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// Console input mode bits (the Windows values).
enum : uint32_t {
    ENABLE_PROCESSED_INPUT_FLAG = 0x0001,  // Ctrl+C handled by the console
    ENABLE_MOUSE_INPUT_FLAG = 0x0010,      // mouse events reach the input queue
    ENABLE_QUICK_EDIT_MODE_FLAG = 0x0040,  // mouse drags select text instead
    ENABLE_EXTENDED_FLAGS_FLAG = 0x0080,   // needed to change quick edit
};

// Mouse button state bits and the wheel's part of it.
enum : uint32_t {
    LEFT_BUTTON = 0x0001,
    RIGHT_BUTTON = 0x0002,
    MIDDLE_BUTTON = 0x0004,
    WHEEL_MOTION_MASK = 0xFFFF0000u,
};

// ---- Screen -------------------------------------------------------------

// Writes a block of width x height cells so that its top-left cell lands
// at `at`. Row r of the block starts at cells[r * stride]. Cells outside
// the screen are dropped; nothing wraps or scrolls; the cursor stays put.
void writeCells(const Cell *cells, int16_t stride, int16_t width, int16_t height, Position at);

// Delivers any cell writes the platform held back to send as one piece.
void flushScreen();

// The code page through which written cell bytes become characters.
uint32_t outputCodePage();
void setOutputCodePage(uint32_t codePage);

// The attribute of text that is printed afterwards by anyone.
void setTextAttribute(uint16_t attribute);

// Moves the visible cursor; a position off the screen is ignored.
void setCursorPosition(Position at);

// Cursor size and visibility, read and written as one record.
CursorShape cursorShape();
void setCursorShape(CursorShape shape);

// Selects entry `index` of the console's font table; unknown indexes and
// consoles without fonts change nothing.
void setFont(uint32_t index);

// ---- Input events ---------------------------------------------------------

// The input mode. inputMode returns false (and leaves *mode alone) when
// standard input is not a console.
bool inputMode(uint32_t *mode);
void setInputMode(uint32_t mode);

// Takes the first pending event off the queue, waiting for one. Returns
// false at once when standard input is not a console.
bool readInputEvent(InputEvent *event);

// Copies the first pending event without taking it. False when none is
// pending or standard input is not a console.
bool peekInputEvent(InputEvent *event);

// Stores the number of pending events; false when input is not a console.
bool countInputEvents(uint32_t *count);

// Discards every pending event (and so every pending keystroke).
void flushInputEvents();

// ---- Keystrokes -----------------------------------------------------------

// True when a keystroke is waiting; consumes nothing.
bool keyWaiting();

// Waits for and takes one keystroke code, without echo. Keys without a
// character arrive as two codes: 0 or 224 first, then the key's own code.
int readKeyCode();

// ---- Clock and process ----------------------------------------------------

void sleepMilliseconds(uint32_t milliseconds);
DateTime localTime();

// printf to standard output (the C runtime's own on Windows).
void printOut(const char *format, ...);

// Folds a-z to A-Z in place; every other byte stays.
void upperCaseInPlace(char *text);
