// What the fuzz targets share: a reader over the fuzz bytes, a spy in
// front of the in-memory console's cell writer and sleep, a model of how
// PRINT's text becomes cells and of INPUTHIT's report (both written from
// the documented rules, not from the code), and state comparisons.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/program.h"
#include "output/text.h"
#include "platform/memory.h"

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

// ---- The spy ----------------------------------------------------------------

// One cell that a writeCells block covered, on or off the screen.
struct LoggedCell {
    int column, row;
    Cell cell;
};

struct ScreenLog {
    int blocks;                     // writeCells calls
    std::vector<LoggedCell> cells;  // every covered cell, in call order
};
extern ScreenLog screenLog;

// The number of sleeps after which a wait counts as hung.
extern uint64_t sleepBudget;

// Clears the log and the sleep count before a run.
void startLog(uint64_t sleeps = 1000);

// ---- Runs ----------------------------------------------------------------------

// Runs `conx args...` on the in-memory console as it stands, with fresh
// copies of the strings (the keyword is upper-cased in place), drawing
// cell by cell or grouped. Returns the exit code.
int32_t runArguments(const std::vector<std::string> &args, bool oneCellAtATime);

// The keyword as dispatch sees it: a-z folded to A-Z.
std::string foldedKeyword(const std::string &keyword);

// ---- Model of the cell writer and the escape decoder -------------------------

struct ModelCursor {
    int16_t startColumn, column, row;
    uint16_t attribute;
};

// Character values that the decoder passes on for one text (valid until
// the next call).
const std::vector<int> &modelDecode(const char *text);

// The cell write that one character value makes, appended to `writes`
// when the position is drawable (column and row not negative).
void modelPutCell(ModelCursor &cursor, int c, std::vector<LoggedCell> &writes);

// The cell-by-cell run wrote exactly `writes`, one 1x1 block each, in order.
void checkCellByCellLog(const std::vector<LoggedCell> &writes);
// A grouped run covered only positions that `writes` holds.
void checkGroupedLogWithin(const std::vector<LoggedCell> &writes);
// The screen is `before` with the on-screen `writes` applied in order.
void checkScreen(const MemoryConsole &before, const std::vector<LoggedCell> &writes,
                 const char *run);

// ---- INPUTHIT and key reading --------------------------------------------------

// The key code that readKey leaves after taking codes from the front of
// `keys` (which it shortens); -1 stands for a read that found no key.
int32_t modelReadKey(std::vector<int> &keys);

// The report line INPUTHIT prints for `first` with exit code `code`.
std::string modelReport(const InputEvent &first, int32_t code);

// ---- State -------------------------------------------------------------------------

// Which parts of the console a command may change.
enum : unsigned {
    MAY_DRAW = 1,          // screen cells
    MAY_COLOR = 2,         // text attribute
    MAY_MOVE_CURSOR = 4,   // cursor position
    MAY_SHAPE_CURSOR = 8,  // cursor size and visibility
    MAY_SET_FONT = 16,
    MAY_SET_MODE = 32,     // input mode (as it is after the run)
    MAY_TAKE_EVENTS = 64,
    MAY_TAKE_KEYS = 128,
    MAY_PRINT = 256,       // standard output
    MAY_SLEEP = 512,
};

// Everything outside `allowed` is as it was before the run. The code page
// is always compared: a command may only change it for its own duration.
void checkUnchangedExcept(const MemoryConsole &before, const MemoryConsole &after, unsigned allowed,
                          const char *what);

// Two runs left identical consoles and screens.
void checkSameConsole(const MemoryConsole &a, const MemoryConsole &b);
