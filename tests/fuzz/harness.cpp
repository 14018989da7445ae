// The fuzz targets' shared harness; see harness.h.
#include "harness.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "\n*** invariant broken: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

std::string foldedKeyword(const std::string &keyword) {
    std::string folded = keyword.substr(0, std::strlen(keyword.c_str()));
    for (char &ch : folded)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return folded;
}

// ---- Model of the cell writer and the escape decoder -------------------------

namespace {

int16_t wrap16(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

bool sameCell(const Cell &a, const Cell &b) {
    return a.ch == b.ch && a.attribute == b.attribute;
}

// Bytes are signed: 0x80-0xFF are negative and never digits.
int hexDigit(signed char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

}  // namespace

// A backslash takes up to two hex digits. With digits: their value, and
// then the byte after them is ordinary (whatever it is) unless it is a
// backslash, which opens the next escape. Without digits: 'n' is a new
// line, anything else itself. A lone backslash at the end is nothing.
const std::vector<int> &modelDecode(const char *text) {
    static std::vector<int> out;  // kept: long texts would allocate per run
    out.clear();
    const signed char *p = reinterpret_cast<const signed char *>(text);
    while (*p) {
        if (*p != '\\') {
            out.push_back(*p++);
            continue;
        }
        ++p;  // the backslash
        int digits = 0, value = 0;
        while (digits < 2 && hexDigit(*p) >= 0) {
            value = value * 16 + hexDigit(*p++);
            ++digits;
        }
        if (digits > 0) {
            out.push_back(value);
            if (*p && *p != '\\') out.push_back(*p++);
        } else if (*p) {
            out.push_back(*p == 'n' ? 10 : *p);
            ++p;
        }
    }
    return out;
}

void modelPutCell(ModelCursor &cursor, int c, std::vector<CellWrite> &writes) {
    if (c == 10) {
        cursor.row = wrap16(cursor.row + 1);
        cursor.column = cursor.startColumn;
        return;
    }
    if (c != 0 && cursor.column >= 0 && cursor.row >= 0)
        writes.push_back(CellWrite{cursor.column, cursor.row,
                                   Cell{static_cast<uint8_t>(c), cursor.attribute}});
    cursor.column = wrap16(cursor.column + 1);
}

void checkCells(const MemoryConsole &before, const std::vector<CellWrite> &writes, const char *run) {
    const MemoryConsole &mc = memoryConsole;
    int made = mc.cellWrites - before.cellWrites;
    CHECK(made == static_cast<int>(writes.size()), "%s: %d cell writes for %zu visible cells", run,
          made, writes.size());
    CHECK(mc.negativeCellWrites == before.negativeCellWrites, "%s: a cell written at a negative place",
          run);
    static bool written[MEMORY_MAX_ROWS][MEMORY_MAX_COLUMNS];
    static Cell cells[MEMORY_MAX_ROWS][MEMORY_MAX_COLUMNS];
    std::memcpy(written, before.written, sizeof written);
    std::memcpy(cells, before.cells, sizeof cells);
    for (const CellWrite &w : writes) {
        if (w.column >= before.columns || w.row >= before.rows) continue;  // the console clips
        cells[w.row][w.column] = w.cell;
        written[w.row][w.column] = true;
    }
    for (int r = 0; r < before.rows; ++r)
        for (int c = 0; c < before.columns; ++c)
            CHECK(sameCell(mc.cells[r][c], cells[r][c]) && mc.written[r][c] == written[r][c],
                  "%s: cell column %d row %d is %02x/%04x (written %d), the text gives %02x/%04x "
                  "(written %d)",
                  run, c, r, mc.cells[r][c].ch, mc.cells[r][c].attribute, mc.written[r][c],
                  cells[r][c].ch, cells[r][c].attribute, written[r][c]);
    CHECK(std::memcmp(mc.written, written, sizeof written) == 0, "%s: written off the screen", run);
}

// ---- Keystrokes ------------------------------------------------------------------

const Keystroke KEYSTROKES[] = {
    // first  second  code
    {'a',     -1,     97},   // letters
    {'A',     -1,     65},
    {13,      -1,     13},   // Enter
    {10,      -1,     10},   // Ctrl+J
    {27,      -1,     27},   // Escape
    {8,       -1,     8},    // Backspace
    {1,       -1,     1},    // Ctrl+A
    {233,     -1,     233},  // é in 1252
    {255,     -1,     255},  // ÿ
    {224,     72,     327},  // Up
    {224,     80,     335},  // Down
    {224,     75,     330},  // Left
    {0,       59,     314},  // F1
    {224,     134,    389},  // F12
    {0,       3,      258},  // Ctrl+2
    {224,     224,    479},  // a second code of 224 is only a code
};
const int KEYSTROKE_COUNT = sizeof KEYSTROKES / sizeof KEYSTROKES[0];

// ---- State -------------------------------------------------------------------------

void checkUnchangedExcept(const MemoryConsole &before, const MemoryConsole &after, unsigned allowed,
                          const char *what) {
    CHECK(after.columns == before.columns && after.rows == before.rows, "%s: screen size changed",
          what);
    if (!(allowed & DRAWS))
        CHECK(after.cellWrites == before.cellWrites, "%s: drew on the screen", what);
    if (!(allowed & SETS_COLOR))
        CHECK(after.textAttribute == before.textAttribute, "%s: changed the text attribute", what);
    if (!(allowed & MOVES_CURSOR))
        CHECK(after.cursor.column == before.cursor.column && after.cursor.row == before.cursor.row,
              "%s: moved the cursor", what);
    if (!(allowed & SHAPES_CURSOR))
        CHECK(after.cursorShape.size == before.cursorShape.size &&
                  after.cursorShape.visible == before.cursorShape.visible,
              "%s: changed the cursor shape", what);
    if (!(allowed & SETS_FONT)) CHECK(after.font == before.font, "%s: changed the font", what);
    if (!(allowed & SETS_INPUT_MODE))
        CHECK(after.inputMode == before.inputMode, "%s: input mode %#x left as %#x", what,
              before.inputMode, after.inputMode);
    if (!(allowed & TAKES_EVENTS))
        CHECK(after.eventCount == before.eventCount, "%s: took input events", what);
    if (!(allowed & TAKES_KEYS))
        CHECK(after.keyCount == before.keyCount, "%s: took keystrokes", what);
    if (!(allowed & PRINTS)) CHECK(after.output == before.output, "%s: printed", what);
    if (!(allowed & SLEEPS))
        CHECK(after.sleepCalls == before.sleepCalls, "%s: slept", what);
    // Ranges the console's record must keep whatever happened.
    CHECK(after.cursorShape.size >= 1 && after.cursorShape.size <= 100, "%s: cursor size %u", what,
          after.cursorShape.size);
    CHECK(after.cursor.column >= 0 && after.cursor.column < after.columns && after.cursor.row >= 0 &&
              after.cursor.row < after.rows,
          "%s: cursor off the screen", what);
}

void checkInputHitMode(uint32_t before, uint32_t after) {
    CHECK(after & ENABLE_MOUSE_INPUT_FLAG, "INPUTHIT: mouse input off (mode %#x)", after);
    CHECK(!(after & (ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG)),
          "INPUTHIT: quick edit or Ctrl+C processing on (mode %#x)", after);
    uint32_t others = ~(ENABLE_MOUSE_INPUT_FLAG | ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG);
    CHECK((after & others) == (before & others), "INPUTHIT: mode %#x became %#x", before, after);
}

void checkOneLine(const std::string &output) {
    size_t lineEnd = output.find('\n');
    CHECK(output.empty() || (output.back() == '\n' && lineEnd + 2 >= output.size()),
          "not exactly one report line: \"%s\"", output.c_str());
}
