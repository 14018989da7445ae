// What the fuzz targets share: a reader over the fuzz bytes, a model of
// how PRINT's text becomes cells (built another way than the product's
// decoder: a lookahead over the text instead of a state machine), literal
// tables of keystrokes with the key codes they give, and state checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "output/text.h"
#include "platform/memory/memory.h"

// Reports a broken invariant and aborts, so libFuzzer keeps the input.
[[noreturn]] void fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
#define CHECK(condition, ...)                \
    do {                                     \
        if (!(condition)) fail(__VA_ARGS__); \
    } while (0)

// Takes the fuzz bytes front to back; past the end everything reads 0.
struct ByteReader {
    const uint8_t *data;
    size_t size;
    uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
    uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
    std::string rest() {
        std::string all(reinterpret_cast<const char *>(data), size);
        size = 0;
        return all;
    }
};

// The number of sleeps after which a wait counts as hung.
const int SLEEP_LIMIT = 1000;

// The keyword as dispatch sees it: a-z folded to A-Z, up to a NUL.
std::string foldedKeyword(const std::string &keyword);

// ---- Model of the cell writer and the escape decoder -------------------------

struct CellWrite {
    int column, row;
    Cell cell;
};

struct ModelCursor {
    int16_t startColumn, column, row;
    uint16_t attribute;
};

// Character values that the decoder passes on for one text (valid until
// the next call).
const std::vector<int> &modelDecode(const char *text);

// The cell write that one character value makes, appended to `writes`
// when the position is drawable (column and row not negative).
void modelPutCell(ModelCursor &cursor, int c, std::vector<CellWrite> &writes);

// The run made exactly the visible writes of `writes` (none at a negative
// position), and the screen is `before` with them applied in order.
void checkCells(const MemoryConsole &before, const std::vector<CellWrite> &writes, const char *run);

// ---- Keystrokes ------------------------------------------------------------------

// A keystroke as _getch delivers it and the key code a script gets.
struct Keystroke {
    int first, second;  // second -1: an ordinary key
    int32_t code;
};
extern const Keystroke KEYSTROKES[];
extern const int KEYSTROKE_COUNT;
// A pair whose second code never comes reads as -1 + 255.
const int32_t CUT_PAIR_CODE = 254;

// ---- State -------------------------------------------------------------------------


// Everything outside `allowed` (CommandEffect bits) is as it was before the run.
void checkUnchangedExcept(const MemoryConsole &before, const MemoryConsole &after, unsigned allowed,
                          const char *what);

// INPUTHIT's mode: mouse input on, quick edit and Ctrl+C processing off,
// every other bit as it was.
void checkInputHitMode(uint32_t before, uint32_t after);

// What INPUTHIT printed is one report line or nothing: the only line end
// is the last byte, or the key character before it when that is itself a
// line feed (Ctrl+J gives key code 10).
void checkOneLine(const std::string &output);
