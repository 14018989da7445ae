// The fuzz targets' shared harness; see harness.h.
#include "harness.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <sanitizer/asan_interface.h>

// The in-memory console's own versions (renamed by the build).
void memoryWriteCells(const Cell *cells, int16_t stride, int16_t width, int16_t height, Position at);
void memorySleepMilliseconds(uint32_t milliseconds);

ScreenLog screenLog;
uint64_t sleepBudget;

namespace {

const uint32_t WINDOWS_1252 = 1252;
const int INT16_LIMIT = 32767;

uint64_t sleepCount;

int16_t wrap16(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

bool sameCell(const Cell &a, const Cell &b) {
    return a.ch == b.ch && a.spare == b.spare && a.attribute == b.attribute;
}

}  // namespace

void fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "\n*** invariant broken: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

// ---- The spy ----------------------------------------------------------------

// Every block that reaches the screen: a real extent, never at a negative
// position (putCell skips those), edges that fit the console's 16-bit
// rectangle, drawn under code page 1252, and a source that is readable
// over the whole stride x height the call declares (ASan's shadow memory
// tells whether any byte of it lies outside a live object).
void writeCells(const Cell *cells, int16_t stride, int16_t width, int16_t height, Position at) {
    ++screenLog.blocks;
    CHECK(width >= 1 && height >= 1 && stride >= width, "block %dx%d with stride %d", width, height,
          stride);
    CHECK(at.column >= 0 && at.row >= 0, "block at negative position column %d row %d", at.column,
          at.row);
    CHECK(at.column + width - 1 <= INT16_LIMIT && at.row + height - 1 <= INT16_LIMIT,
          "block right/bottom edge beyond 16 bits: column %d + %d, row %d + %d", at.column, width,
          at.row, height);
    CHECK(memoryConsole.codePage == WINDOWS_1252, "cells written under code page %u",
          memoryConsole.codePage);
    size_t declared = static_cast<size_t>(stride) * static_cast<size_t>(height) * sizeof(Cell);
    CHECK(!__asan_region_is_poisoned(const_cast<Cell *>(cells), declared),
          "block source of %dx%d cells (stride %d) reaches outside its buffer", width, height, stride);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const Cell &cell = cells[r * stride + c];
            CHECK(cell.spare == 0, "cell with a nonzero spare byte");
            screenLog.cells.push_back(LoggedCell{at.column + c, at.row + r, cell});
        }
    }
    memoryWriteCells(cells, stride, width, height, at);
}

void sleepMilliseconds(uint32_t milliseconds) {
    CHECK(++sleepCount <= sleepBudget, "a wait did not end after %llu sleeps",
          static_cast<unsigned long long>(sleepBudget));
    memorySleepMilliseconds(milliseconds);
}

void startLog(uint64_t sleeps) {
    screenLog.blocks = 0;
    screenLog.cells.clear();
    sleepCount = 0;
    sleepBudget = sleeps;
}

// ---- Runs ----------------------------------------------------------------------

int32_t runArguments(const std::vector<std::string> &args, bool oneCellAtATime) {
    static std::vector<std::string> storage;
    static std::vector<char *> vector;
    storage.assign(1, "conx");
    storage.insert(storage.end(), args.begin(), args.end());
    vector.clear();
    for (std::string &s : storage) vector.push_back(&s[0]);
    vector.push_back(nullptr);
    cellByCell = oneCellAtATime;
    int32_t code = runCommandLine(static_cast<int>(storage.size()), vector.data(), 0);
    cellByCell = false;
    return code;
}

std::string foldedKeyword(const std::string &keyword) {
    std::string folded = keyword;
    for (char &ch : folded)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return folded.substr(0, std::strlen(folded.c_str()));
}

// ---- Model of the cell writer and the escape decoder -------------------------

namespace {

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

void modelPutCell(ModelCursor &cursor, int c, std::vector<LoggedCell> &writes) {
    if (c == 10) {
        cursor.row = wrap16(cursor.row + 1);
        cursor.column = cursor.startColumn;
        return;
    }
    if (c != 0 && cursor.column >= 0 && cursor.row >= 0)
        writes.push_back(LoggedCell{cursor.column, cursor.row,
                                    Cell{static_cast<uint8_t>(c), 0, cursor.attribute}});
    cursor.column = wrap16(cursor.column + 1);
}

void checkCellByCellLog(const std::vector<LoggedCell> &writes) {
    CHECK(screenLog.blocks == static_cast<int>(writes.size()),
          "cell by cell: %d blocks for %zu visible cells", screenLog.blocks, writes.size());
    CHECK(screenLog.cells.size() == writes.size(), "cell by cell: blocks are not 1x1");
    for (size_t i = 0; i < writes.size(); ++i) {
        const LoggedCell &got = screenLog.cells[i], &want = writes[i];
        CHECK(got.column == want.column && got.row == want.row && sameCell(got.cell, want.cell),
              "cell by cell: write %zu went to column %d row %d as %02x/%04x, the rules say "
              "column %d row %d as %02x/%04x",
              i, got.column, got.row, got.cell.ch, got.cell.attribute, want.column, want.row,
              want.cell.ch, want.cell.attribute);
    }
}

void checkGroupedLogWithin(const std::vector<LoggedCell> &writes) {
    // Sorted keys, kept from run to run: no allocation per cell.
    static std::vector<uint64_t> positions;
    auto key = [](int column, int row) {
        return static_cast<uint64_t>(static_cast<uint32_t>(column)) << 32 | static_cast<uint32_t>(row);
    };
    positions.clear();
    for (const LoggedCell &w : writes) positions.push_back(key(w.column, w.row));
    std::sort(positions.begin(), positions.end());
    for (const LoggedCell &got : screenLog.cells)
        CHECK(std::binary_search(positions.begin(), positions.end(), key(got.column, got.row)),
              "grouped: a block covered column %d row %d, which no cell of the text reaches",
              got.column, got.row);
    CHECK(screenLog.blocks <= static_cast<int>(writes.size()),
          "grouped: %d blocks for %zu cell writes", screenLog.blocks, writes.size());
}

void checkScreen(const MemoryConsole &before, const std::vector<LoggedCell> &writes, const char *run) {
    static MemoryConsole expected;
    std::memcpy(expected.cells, before.cells, sizeof expected.cells);
    std::memcpy(expected.written, before.written, sizeof expected.written);
    for (const LoggedCell &w : writes) {
        if (w.column >= before.columns || w.row >= before.rows) continue;  // the console clips
        expected.cells[w.row][w.column] = w.cell;
        expected.written[w.row][w.column] = true;
    }
    const MemoryConsole &mc = memoryConsole;
    for (int r = 0; r < before.rows; ++r) {
        for (int c = 0; c < before.columns; ++c) {
            CHECK(sameCell(mc.cells[r][c], expected.cells[r][c]) &&
                      mc.written[r][c] == expected.written[r][c],
                  "%s: cell column %d row %d is %02x/%04x (written %d), the rules give %02x/%04x "
                  "(written %d)",
                  run, c, r, mc.cells[r][c].ch, mc.cells[r][c].attribute, mc.written[r][c],
                  expected.cells[r][c].ch, expected.cells[r][c].attribute, expected.written[r][c]);
        }
    }
    // Off the screen nothing can have been written at all.
    CHECK(std::memcmp(mc.written, expected.written, sizeof mc.written) == 0,
          "%s: written flags differ off the screen", run);
}

// ---- INPUTHIT and key reading --------------------------------------------------

int32_t modelReadKey(std::vector<int> &keys) {
    auto take = [&keys]() {
        if (keys.empty()) return -1;
        int code = keys.front();
        keys.erase(keys.begin());
        return code;
    };
    int32_t first = take();
    if (first == 0 || first == 224) return take() + 255;
    return first;
}

std::string modelReport(const InputEvent &first, int32_t code) {
    int16_t column16, row16;
    int32_t buttons;
    std::memcpy(&column16, first.payload + 0, 2);
    std::memcpy(&row16, first.payload + 2, 2);
    std::memcpy(&buttons, first.payload + 4, 4);
    int32_t column = column16, row = row16;
    bool keyEvent = first.type == KEY_EVENT_TYPE;
    if (keyEvent && ((column == 0 && row == 0) || (column == 1 && row == 0) || code > 0))
        row = column = buttons = -1;
    if (first.type > 10) row = column = buttons = -2;
    if (buttons > 4095 || buttons < -4095) row = column = -1;
    char keyChar = static_cast<char>(code != 0 ? code & 0xFF : ' ');
    std::string line = std::to_string(row) + " " + std::to_string(column) + " " +
                       std::to_string(buttons) + " " + std::to_string(code) + " ";
    line += keyChar;
    line += '\n';
    return line;
}

// ---- State -------------------------------------------------------------------------

void checkUnchangedExcept(const MemoryConsole &before, const MemoryConsole &after, unsigned allowed,
                          const char *what) {
    CHECK(after.codePage == before.codePage, "%s: code page %u left as %u", what, before.codePage,
          after.codePage);
    CHECK(after.columns == before.columns && after.rows == before.rows, "%s: screen size changed",
          what);
    if (!(allowed & MAY_DRAW)) {
        CHECK(std::memcmp(after.written, before.written, sizeof after.written) == 0,
              "%s: drew on the screen", what);
        CHECK(screenLog.blocks == 0, "%s: wrote %d blocks", what, screenLog.blocks);
    }
    if (!(allowed & MAY_COLOR))
        CHECK(after.textAttribute == before.textAttribute, "%s: changed the text attribute", what);
    if (!(allowed & MAY_MOVE_CURSOR))
        CHECK(after.cursor.column == before.cursor.column && after.cursor.row == before.cursor.row,
              "%s: moved the cursor", what);
    if (!(allowed & MAY_SHAPE_CURSOR))
        CHECK(after.cursorShape.size == before.cursorShape.size &&
                  after.cursorShape.visible == before.cursorShape.visible,
              "%s: changed the cursor shape", what);
    if (!(allowed & MAY_SET_FONT)) CHECK(after.font == before.font, "%s: changed the font", what);
    if (!(allowed & MAY_SET_MODE))
        CHECK(after.inputMode == before.inputMode, "%s: input mode %#x left as %#x", what,
              before.inputMode, after.inputMode);
    if (!(allowed & MAY_TAKE_EVENTS))
        CHECK(after.eventCount == before.eventCount, "%s: took input events", what);
    if (!(allowed & MAY_TAKE_KEYS))
        CHECK(after.keyCount == before.keyCount, "%s: took keystrokes", what);
    if (!(allowed & MAY_PRINT)) CHECK(after.output == before.output, "%s: printed", what);
    if (!(allowed & MAY_SLEEP))
        CHECK(after.sleptMilliseconds == before.sleptMilliseconds && after.sleepCalls == before.sleepCalls,
              "%s: slept", what);
    // Ranges the console's record must keep whatever happened.
    CHECK(after.cursorShape.size >= 1 && after.cursorShape.size <= 100, "%s: cursor size %u", what,
          after.cursorShape.size);
    CHECK(after.cursor.column >= 0 && after.cursor.column < after.columns && after.cursor.row >= 0 &&
              after.cursor.row < after.rows,
          "%s: cursor off the screen", what);
}

void checkSameConsole(const MemoryConsole &a, const MemoryConsole &b) {
    CHECK(std::memcmp(a.written, b.written, sizeof a.written) == 0,
          "grouped and cell-by-cell runs wrote different cells");
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.columns; ++c)
            CHECK(sameCell(a.cells[r][c], b.cells[r][c]),
                  "grouped and cell-by-cell runs differ at column %d row %d: %02x/%04x vs %02x/%04x",
                  c, r, a.cells[r][c].ch, a.cells[r][c].attribute, b.cells[r][c].ch,
                  b.cells[r][c].attribute);
    CHECK(a.textAttribute == b.textAttribute && a.cursor.column == b.cursor.column &&
              a.cursor.row == b.cursor.row && a.cursorShape.size == b.cursorShape.size &&
              a.cursorShape.visible == b.cursorShape.visible && a.codePage == b.codePage &&
              a.font == b.font && a.inputMode == b.inputMode && a.eventCount == b.eventCount &&
              a.keyCount == b.keyCount && a.output == b.output &&
              a.sleptMilliseconds == b.sleptMilliseconds,
          "grouped and cell-by-cell runs left different console states");
}
