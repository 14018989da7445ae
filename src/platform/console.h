// The console, the clock and the keyboard: everything conx may ask of the
// machine it runs on. One implementation per platform, picked by the build:
//   win32/     the Windows console (kernel32) and the system C runtime
//   terminal/  a VT/xterm terminal driven through termios
//   memory/    an in-memory console for the unit tests and fuzz targets
// Every call is console::name(...). No call reports failure unless its
// contract says so; a failing call leaves the console as it was. "Screen"
// is the output side (standard output on Windows), "input" the keyboard
// and mouse side (standard input).
#pragma once

#include <cstdint>
#include <cstring>

// One character cell: a code page 1252 byte (as escapes give them, and
// ASCII text) and its attribute.
struct Cell {
    uint8_t ch;
    uint16_t attribute;  // low nibble foreground, next nibble background
};

// A character of the screen's own character set, read from PRINT's literal
// text: its code point and the cells it takes (0: it joins the cell before).
struct Character {
    uint32_t codePoint;
    int width;
};

// A screen position, zero-based from the top-left cell of the screen buffer.
struct Position {
    int16_t column;
    int16_t row;
};

// The text cursor's look: size is the percentage of the cell it fills
// (1-100); a console that cannot tell reports size 0 and visibility
// CURSOR_VISIBILITY_NOT_KNOWN, and takes such a record back as no change.
enum : uint8_t {
    CURSOR_HIDDEN = 0,
    CURSOR_SHOWN = 1,
    CURSOR_VISIBILITY_NOT_KNOWN = 2,
};

struct CursorShape {
    uint32_t size;
    uint8_t visible;
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
    ENABLE_LINE_INPUT_FLAG = 0x0002,       // input comes a line at a time
    ENABLE_ECHO_INPUT_FLAG = 0x0004,       // typed characters are echoed
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
const int32_t WHEEL_NOTCH = 120;  // one notch, in the button state's upper half

// Mouse event flags.
enum : uint32_t {
    MOUSE_MOVED_FLAG = 0x0001,
    DOUBLE_CLICK_FLAG = 0x0002,
    MOUSE_WHEELED_FLAG = 0x0004,
    MOUSE_HWHEELED_FLAG = 0x0008,
};

// Control-key state of mouse and key events.
enum : uint32_t {
    LEFT_ALT_PRESSED_FLAG = 0x0002,
    LEFT_CTRL_PRESSED_FLAG = 0x0008,
    SHIFT_PRESSED_FLAG = 0x0010,
};

// ---- Input event records ----------------------------------------------------
// An event is its type and the payload bytes of the Windows INPUT_RECORD's
// event union. The offsets below and the readers and builders after them
// are the one place that knows the byte layout.

enum : uint16_t {
    KEY_EVENT_TYPE = 0x0001,
    MOUSE_EVENT_TYPE = 0x0002,
    WINDOW_BUFFER_SIZE_EVENT_TYPE = 0x0004,
    MENU_EVENT_TYPE = 0x0008,
    FOCUS_EVENT_TYPE = 0x0010,
};

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

// A mouse event's fields. Read from any event, they are the payload's
// first three values whatever the type (a key event's "column" and "row"
// are the halves of its key-down flag).
struct MouseRecord {
    int16_t column;
    int16_t row;
    uint32_t buttons;
    uint32_t controlKeys = 0;
    uint32_t flags = 0;
};

struct KeyRecord {
    bool down;
    uint16_t virtualKey;
    uint16_t character;
    uint16_t repeat = 1;
};

struct BufferSize {
    int16_t columns;
    int16_t rows;
};

template <typename T>
inline void putField(InputEvent &event, int at, T value) {
    std::memcpy(event.payload + at, &value, sizeof value);
}

template <typename T>
inline T field(const InputEvent &event, int at) {
    T value;
    std::memcpy(&value, event.payload + at, sizeof value);
    return value;
}

inline InputEvent mouseEvent(const MouseRecord &m) {
    InputEvent e = {MOUSE_EVENT_TYPE, {}};
    putField(e, MOUSE_COLUMN_AT, m.column);
    putField(e, MOUSE_ROW_AT, m.row);
    putField(e, MOUSE_BUTTONS_AT, m.buttons);
    putField(e, MOUSE_CONTROL_AT, m.controlKeys);
    putField(e, MOUSE_FLAGS_AT, m.flags);
    return e;
}

inline MouseRecord mouseRecord(const InputEvent &e) {
    return MouseRecord{field<int16_t>(e, MOUSE_COLUMN_AT), field<int16_t>(e, MOUSE_ROW_AT),
                       field<uint32_t>(e, MOUSE_BUTTONS_AT), field<uint32_t>(e, MOUSE_CONTROL_AT),
                       field<uint32_t>(e, MOUSE_FLAGS_AT)};
}

inline InputEvent keyEvent(const KeyRecord &k) {
    InputEvent e = {KEY_EVENT_TYPE, {}};
    putField(e, KEY_DOWN_AT, static_cast<uint32_t>(k.down));
    putField(e, KEY_REPEAT_AT, k.repeat);
    putField(e, KEY_VIRTUAL_AT, k.virtualKey);
    putField(e, KEY_CHARACTER_AT, k.character);
    return e;
}

inline KeyRecord keyRecord(const InputEvent &e) {
    return KeyRecord{field<uint32_t>(e, KEY_DOWN_AT) != 0, field<uint16_t>(e, KEY_VIRTUAL_AT),
                     field<uint16_t>(e, KEY_CHARACTER_AT), field<uint16_t>(e, KEY_REPEAT_AT)};
}

inline InputEvent focusEvent(bool gained) {
    InputEvent e = {FOCUS_EVENT_TYPE, {}};
    putField(e, FOCUS_SET_AT, static_cast<uint32_t>(gained));
    return e;
}

inline bool focusGained(const InputEvent &e) { return field<uint32_t>(e, FOCUS_SET_AT) != 0; }

inline InputEvent bufferSizeEvent(const BufferSize &size) {
    InputEvent e = {WINDOW_BUFFER_SIZE_EVENT_TYPE, {}};
    putField(e, SIZE_COLUMNS_AT, size.columns);
    putField(e, SIZE_ROWS_AT, size.rows);
    return e;
}

inline BufferSize bufferSize(const InputEvent &e) {
    return BufferSize{field<int16_t>(e, SIZE_COLUMNS_AT), field<int16_t>(e, SIZE_ROWS_AT)};
}

namespace console {

// ---- Screen -------------------------------------------------------------

// Draws one cell at `at`; a cell off the screen is dropped. Nothing wraps
// or scrolls and the cursor stays put. The platform may hold cells back
// and send them together at flushScreen; the screen then shows exactly
// what writing them one by one in this order would show.
void writeCell(Position at, Cell cell);

// Delivers every cell still held back.
void flushScreen();

// How many bytes of PRINT's literal text at `text` make one character of
// the screen's own character set (the locale's on Unix; on Windows the
// command line's Unicode, which start-up turns into UTF-8), stored in
// *character. 0: the byte is read as a code page 1252 byte, as escapes give
// them (ASCII is the same either way).
int literalCharacter(const char *text, Character *character);

// Draws such a character at `at` over its width in cells, held back and
// clipped as writeCell's cells are: one that does not fit whole is dropped.
// Width 0 joins the cell just left of `at` when that is the last cell
// written, and is dropped otherwise.
void writeCharacter(Position at, Character character, uint16_t attribute);

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

// INPUTHIT's wait between two counts: returns when input may have come
// (Windows: the input handle is signalled), or after a short while.
void awaitInput();

// Discards every pending event (and so every pending keystroke).
void flushInputEvents();

// ---- Keystrokes -----------------------------------------------------------

// True when a keystroke is waiting; consumes nothing.
bool keyWaiting();

// Waits for and takes one keystroke code, without echo. Keys without a
// character arrive as two codes: 0 or 224 first, then the key's own code.
int readKeyCode();

// The key code that KBD or _KBD ends with (0: _KBD found no key). It is the
// exit code; a platform whose exit status cannot carry every code may pass
// it on another way as well. The Windows console does nothing here.
void noteKeyCode(int32_t code);

// ---- Clock and process ----------------------------------------------------

void sleepMilliseconds(uint32_t milliseconds);
DateTime localTime();

// printf to standard output (the C runtime's own on Windows).
void printOut(const char *format, ...);

// Folds a-z to A-Z in place; every other byte stays.
void upperCaseInPlace(char *text);

}  // namespace console
