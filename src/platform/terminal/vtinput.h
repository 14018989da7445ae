// Terminal input decoding: the bytes a VT/xterm terminal sends for keys,
// mouse reports and focus changes, turned into the codes and records the
// Windows console gives. Pure functions over bytes: no reading, no time.
#pragma once

#include <cstdint>

#include "platform/console.h"
#include "platform/terminal/vtoutput.h"

// What decodeTerminalInput made of the bytes at the front of the buffer.
enum DecodeStatus {
    DECODE_FOUND,      // *input holds one input; *used bytes make it up
    DECODE_NEED_MORE,  // a sequence has begun but is not complete yet
    DECODE_NOT_MINE,   // *used bytes are no input we know: drop them
};

enum TerminalInputKind {
    KEY_INPUT,    // a keystroke: first and second code as _getch gives them
    MOUSE_INPUT,  // a mouse report
    FOCUS_INPUT,  // the terminal window gained or lost the focus
};

const int NO_SECOND_CODE = -1;

struct TerminalInput {
    int kind;       // TerminalInputKind
    int first;      // key: the first _getch code (0 or 224 for a pair)
    int second;     // key: the second code, or NO_SECOND_CODE
    int button;     // mouse: the report's button byte (SGR numbering)
    int column;     // mouse: zero-based
    int row;        // mouse: zero-based
    bool released;  // mouse: a release report
    bool focused;   // focus: gained (true) or lost
};

// Decodes the input at the front of bytes[0..length). `quiet` says that no
// further byte came within the escape timeout: a lone ESC is then the
// Escape key, ESC ESC Alt+Escape, ESC [ and ESC O are Alt+[ and Alt+O,
// ESC [ M is st's Ctrl+Delete, ESC [ O a focus-out report, and any other
// unfinished sequence is dropped whole.
// Characters arrive in `charset` (UTF-8: several bytes each).
DecodeStatus decodeTerminalInput(const uint8_t *bytes, int length, bool quiet,
                                 TerminalInput *input, int *used,
                                 Charset charset = CHARSET_UTF8);

// Mouse button state kept from one report to the next (the Windows record
// carries every button held, a report names only the one that changed).
struct MouseButtons {
    uint32_t held;  // LEFT_BUTTON | RIGHT_BUTTON | MIDDLE_BUTTON
};

// Fills a Windows mouse event record from a mouse report and updates the
// buttons held. Reports that Windows has no record for (buttons 8-11)
// return false.
bool mouseEventRecord(const TerminalInput &input, MouseButtons *buttons, InputEvent *event);

// A key-down event record for a keystroke; the character is the first
// code when it is not a pair.
InputEvent keyEventRecord(const TerminalInput &input);
