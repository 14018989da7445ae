// The in-memory console: what the unit tests and fuzz targets set up
// before a run and read back after it. Everything lives in one
// process-wide record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/terminal/vtoutput.h"

const int MEMORY_MAX_COLUMNS = 200;
const int MEMORY_MAX_ROWS = 100;
const int MEMORY_MAX_EVENTS = 64;
const int MEMORY_MAX_KEYS = 64;

// A pending input event and the number of event counts that must pass
// before it shows up (0: pending from the start).
struct ScriptedEvent {
    InputEvent event;
    int arrivesAfterCounts;
};

// A character of literal text drawn by writeCharacter.
struct CharacterWrite {
    Position at;
    Character character;
    uint16_t attribute;
};

struct MemoryConsole {
    // Screen
    int columns, rows;                                  // screen buffer size
    Cell cells[MEMORY_MAX_ROWS][MEMORY_MAX_COLUMNS];
    bool written[MEMORY_MAX_ROWS][MEMORY_MAX_COLUMNS];  // ever written this run
    uint16_t textAttribute;
    Position cursor;
    CursorShape cursorShape;
    uint32_t font;
    int cellWrites;                 // writeCell calls
    int negativeCellWrites;         // ... of them at a negative column or row
    int flushCalls;                 // flushScreen calls
    Charset literalCharset;         // what literal text is read in (1252: every byte a cell)
    std::vector<CharacterWrite> characters;  // writeCharacter calls, in order
    // Input
    bool inputIsConsole;
    uint32_t inputMode;
    int modeWrites;                 // setInputMode calls
    ScriptedEvent events[MEMORY_MAX_EVENTS];
    int eventCount;
    int keys[MEMORY_MAX_KEYS];      // keystroke codes as _getch returns them
    int keyCount;
    int keyReadsWithoutKey;         // readKeyCode calls that found nothing
    int keyCodeNotes;               // noteKeyCode calls
    int32_t notedKeyCode;           // ... and the last code noted
    // Clock
    DateTime now;
    uint64_t sleptMilliseconds;
    int sleepCalls;
    int sleepLimit;                 // more sleeps than this abort (0: no limit)
    // Standard output
    std::string output;
};

extern MemoryConsole memoryConsole;

// Empties everything: an 80x25 screen of blanks in attribute 07 never
// written, literal text read as 1252 bytes (every byte a cell), input a
// console in mode 0x1F7, cursor 25% shown.
void resetMemoryConsole(int columns = 80, int rows = 25);

// Queues input: a keystroke's codes, and events.
void queueKeyCodes(int first, int second = -1);
void queueEvent(const InputEvent &event, int arrivesAfterCounts = 0);

// Runs `conx arguments...` (the program name is added) on the console as it
// stands, with fresh copies of the strings; returns the exit code.
int32_t runConx(const std::vector<std::string> &arguments);

// Screen text of one row, cells as their bytes.
std::string screenRow(int row);
