// The key tables the terminal decoder (vtinput.cpp) reads: the _getch
// codes of every key without a character, and the sequence forms that name
// those keys, one row per form. A key form of a terminal is a row here (and
// the key's row in tests/unit/terminal_keys.txt). Included by vtinput.cpp
// alone: every table has internal linkage.
#pragma once

#include <cstdint>

namespace {

// CSI / SS3 modifier parameter m: m - 1 = Shift 1 | Alt 2 | Ctrl 4 | Meta 8.
const int MODIFIER_SHIFT = 1, MODIFIER_ALT = 2, MODIFIER_CTRL = 4, MODIFIER_META = 8;

enum Key {
    KEY_UP, KEY_DOWN, KEY_RIGHT, KEY_LEFT, KEY_HOME, KEY_END, KEY_PAGE_UP, KEY_PAGE_DOWN,
    KEY_INSERT, KEY_DELETE, KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6, KEY_F7,
    KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12, NO_KEY = -1,
};

// _getch codes of the keys without a character, one row per Key. Alt
// beats Ctrl beats Shift; Alt forms of the cursor block start with 0.
struct KeyCodes {
    uint8_t first, altFirst, plain, shift, ctrl, alt;
};
const KeyCodes KeyTable[] = {
    // first altFirst plain shift ctrl  alt
    {224,    0,       72,   72,   141,  152},  // Up
    {224,    0,       80,   80,   145,  160},  // Down
    {224,    0,       77,   77,   116,  157},  // Right
    {224,    0,       75,   75,   115,  155},  // Left
    {224,    0,       71,   71,   119,  151},  // Home
    {224,    0,       79,   79,   117,  159},  // End
    {224,    0,       73,   73,   134,  153},  // PgUp (Ctrl: the same pair as F12)
    {224,    0,       81,   81,   118,  161},  // PgDn
    {224,    0,       82,   82,   146,  162},  // Insert
    {224,    0,       83,   83,   147,  163},  // Delete
    {0,      0,       59,   84,   94,   104},  // F1
    {0,      0,       60,   85,   95,   105},  // F2
    {0,      0,       61,   86,   96,   106},  // F3
    {0,      0,       62,   87,   97,   107},  // F4
    {0,      0,       63,   88,   98,   108},  // F5
    {0,      0,       64,   89,   99,   109},  // F6
    {0,      0,       65,   90,   100,  110},  // F7
    {0,      0,       66,   91,   101,  111},  // F8
    {0,      0,       67,   92,   102,  112},  // F9
    {0,      0,       68,   93,   103,  113},  // F10
    {224,    224,     133,  135,  137,  139},  // F11
    {224,    224,     134,  136,  138,  140},  // F12
};

// Final bytes of CSI 1;m X and SS3 X. rxvt's lower-case arrows are Shift
// after CSI and Ctrl after SS3.
struct LetterKey {
    char final;
    Key key;
    int csiBits, ss3Bits;  // modifier bits the form itself means
};
const LetterKey LetterKeys[] = {
    {'A', KEY_UP, 0, 0}, {'B', KEY_DOWN, 0, 0}, {'C', KEY_RIGHT, 0, 0}, {'D', KEY_LEFT, 0, 0},
    {'H', KEY_HOME, 0, 0}, {'F', KEY_END, 0, 0},
    {'P', KEY_F1, 0, 0}, {'Q', KEY_F2, 0, 0}, {'R', KEY_F3, 0, 0}, {'S', KEY_F4, 0, 0},
    {'a', KEY_UP, MODIFIER_SHIFT, MODIFIER_CTRL}, {'b', KEY_DOWN, MODIFIER_SHIFT, MODIFIER_CTRL},
    {'c', KEY_RIGHT, MODIFIER_SHIFT, MODIFIER_CTRL}, {'d', KEY_LEFT, MODIFIER_SHIFT, MODIFIER_CTRL},
};

// First parameters of CSI n;m ~ (1 and 7 Home, 4 and 8 End: rxvt and tmux;
// 25-34 Shift+F3-F10 of rxvt and the Linux console, terminfo's F13-F20).
struct TildeKey {
    int number;
    Key key;
    int bits;  // modifier bits the number itself means
};
const TildeKey TildeKeys[] = {
    {1, KEY_HOME, 0}, {2, KEY_INSERT, 0}, {3, KEY_DELETE, 0}, {4, KEY_END, 0},
    {5, KEY_PAGE_UP, 0}, {6, KEY_PAGE_DOWN, 0}, {7, KEY_HOME, 0}, {8, KEY_END, 0},
    {11, KEY_F1, 0}, {12, KEY_F2, 0}, {13, KEY_F3, 0}, {14, KEY_F4, 0}, {15, KEY_F5, 0},
    {17, KEY_F6, 0}, {18, KEY_F7, 0}, {19, KEY_F8, 0}, {20, KEY_F9, 0}, {21, KEY_F10, 0},
    {23, KEY_F11, 0}, {24, KEY_F12, 0},
    {25, KEY_F3, MODIFIER_SHIFT}, {26, KEY_F4, MODIFIER_SHIFT}, {28, KEY_F5, MODIFIER_SHIFT},
    {29, KEY_F6, MODIFIER_SHIFT}, {31, KEY_F7, MODIFIER_SHIFT}, {32, KEY_F8, MODIFIER_SHIFT},
    {33, KEY_F9, MODIFIER_SHIFT}, {34, KEY_F10, MODIFIER_SHIFT},
};

// Finals after a key's number: xterm's "~" takes the modifier as a second
// parameter; rxvt's finals are the modifier ("$" is an intermediate byte in
// CSI grammar, taken as a final after one parameter).
struct NumberFinal {
    char final;
    int bits;
};
const NumberFinal NumberFinals[] = {
    {'~', 0}, {'$', MODIFIER_SHIFT}, {'^', MODIFIER_CTRL}, {'@', MODIFIER_CTRL | MODIFIER_SHIFT},
};

// st's editing keys while keypad transmit mode (ESC =) is off: the
// sequences that would edit its own screen. Ctrl+Home, Alt+Home and the
// Alt forms of the others send the unmodified key.
const int NO_NUMBER = -1;
struct StKey {
    char final;
    int number;  // the one parameter, or NO_NUMBER for none
    Key key;
    int bits;
};
const StKey StKeys[] = {
    // final number     key         modifier
    {'P',    NO_NUMBER, KEY_DELETE, 0},               // DCH
    {'h',    4,         KEY_INSERT, 0},               // SM 4, insert mode
    {'K',    2,         KEY_DELETE, MODIFIER_SHIFT},  // EL 2
    {'J',    2,         KEY_HOME,   MODIFIER_SHIFT},  // ED 2
    {'K',    NO_NUMBER, KEY_END,    MODIFIER_SHIFT},  // EL
    {'J',    NO_NUMBER, KEY_END,    MODIFIER_CTRL},   // ED
    {'L',    NO_NUMBER, KEY_INSERT, MODIFIER_CTRL},   // IL
    {'M',    NO_NUMBER, KEY_DELETE, MODIFIER_CTRL},   // DL, also a legacy mouse report's start
};

}  // namespace
