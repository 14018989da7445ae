// Fuzz target: the Windows layer's cell batching.
//
// Input bytes: cell writes to the end, as text flows: a step byte, the
// character and the attribute byte. Step bits 0-1: 0 or 1 the next
// column, 2 the next row at the start column, 3 a jump to the column and
// row in the next 4 bytes (mod 520 and 80; the jump sets the start
// column); bits 2-4: columns skipped first (transparent cells); bit 5: a
// wide character, its two halves in this column and the next.
// They go through batchCell, with a sendBatch after every write whose
// character is '!' (as PRINT ends). Checked: the screen the blocks draw
// equals the one a write per cell draws; every block is real, at a place
// not negative, within 16-bit edges, a buffer of at most MAX_BLOCK_CELLS, read
// from a source that is readable over its whole declared stride x height,
// covers only places that some write since the last send reached, and
// never parts the two halves of a wide character held since then (a row
// of it begins with a trailing half whose leading one is held left of it,
// or ends with a leading half before its trailing one).
#include <sanitizer/asan_interface.h>

#include <cstring>

#include "harness.h"
#include "platform/win32/cellbatch.h"

namespace {

const int COLUMNS = 520, ROWS = 80;  // beyond two batch windows each way
const int INT16_LIMIT = 32767;

ConsoleCell reference[ROWS][COLUMNS], batched[ROWS][COLUMNS];
bool reached[ROWS][COLUMNS];  // written since the last send
int rowsUsed;                 // rows 0..rowsUsed-1 hold writes

// A write since the last send left `half` at column, row.
bool heldHalf(int row, int column, uint16_t half) {
    return column >= 0 && column < COLUMNS && row < ROWS && reached[row][column] &&
           (reference[row][column].attribute & half);
}

void clearRows(int rows) {
    size_t cells = static_cast<size_t>(rows) * COLUMNS;
    std::memset(reference, 0, cells * sizeof(ConsoleCell));
    std::memset(batched, 0, cells * sizeof(ConsoleCell));
    std::memset(reached, 0, cells * sizeof(bool));
}

}  // namespace

void writeCellBlock(const CellBlock &b) {
    CHECK(b.width >= 1 && b.height >= 1 && b.stride >= b.width, "block %dx%d, stride %d", b.width,
          b.height, b.stride);
    CHECK(b.stride * b.height <= MAX_BLOCK_CELLS, "block buffer of %dx%d cells", b.stride, b.height);
    CHECK(b.at.column >= 0 && b.at.row >= 0, "block at column %d row %d", b.at.column, b.at.row);
    CHECK(b.at.column + b.width - 1 <= INT16_LIMIT && b.at.row + b.height - 1 <= INT16_LIMIT,
          "block edge beyond 16 bits");
    size_t declared = static_cast<size_t>(b.stride) * static_cast<size_t>(b.height) * sizeof(ConsoleCell);
    CHECK(!__asan_region_is_poisoned(const_cast<ConsoleCell *>(b.cells), declared),
          "block source of %dx%d cells (stride %d) reaches outside its buffer", b.width, b.height, b.stride);
    for (int r = 0; r < b.height; ++r) {
        int row = b.at.row + r, left = b.at.column, right = b.at.column + b.width - 1;
        CHECK(!(b.cells[r * b.stride].attribute & TRAILING_HALF) || !heldHalf(row, left - 1, LEADING_HALF),
              "block at column %d row %d begins its row %d with a trailing half", left, b.at.row, r);
        CHECK(!(b.cells[r * b.stride + b.width - 1].attribute & LEADING_HALF) ||
                  !heldHalf(row, right + 1, TRAILING_HALF),
              "block at column %d row %d ends its row %d with a leading half", left, b.at.row, r);
        for (int c = 0; c < b.width; ++c) {
            int column = b.at.column + c, row = b.at.row + r;
            CHECK(column < COLUMNS && row < ROWS && reached[row][column],
                  "block covers column %d row %d, which no write reached", column, row);
            batched[row][column] = b.cells[r * b.stride + c];
        }
    }
}

namespace {

void write(int column, int row, ConsoleCell cell) {
    reference[row][column] = cell;
    reached[row][column] = true;
    if (row >= rowsUsed) rowsUsed = row + 1;
    batchCell(Position{static_cast<int16_t>(column), static_cast<int16_t>(row)}, cell);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    clearRows(rowsUsed);
    rowsUsed = 0;
    int column = 0, row = 0, startColumn = 0;
    while (in.size >= 3) {
        uint8_t step = in.byte();
        column += (step >> 2) & 7;
        switch (step & 3) {
        case 2: ++row; column = startColumn; break;
        case 3: startColumn = column = in.u16() % COLUMNS; row = in.u16() % ROWS; break;
        default: break;
        }
        bool wide = step & 32;
        if (column + wide >= COLUMNS || row >= ROWS) continue;
        uint8_t ch = in.byte();
        // A held cell's character is never 0 (PRINT writes no transparent cells).
        ConsoleCell cell = {static_cast<uint16_t>(ch + 1), in.byte()};
        if (wide) {
            write(column++, row, ConsoleCell{cell.character, static_cast<uint16_t>(cell.attribute | LEADING_HALF)});
            cell.attribute |= TRAILING_HALF;
        }
        write(column, row, cell);
        if (ch == '!') {
            sendBatch();
            std::memset(reached, 0, static_cast<size_t>(rowsUsed) * COLUMNS);
        }
        ++column;
    }
    sendBatch();
    size_t cells = static_cast<size_t>(rowsUsed) * COLUMNS;
    if (std::memcmp(reference, batched, cells * sizeof(Cell)) == 0) return 0;
    for (int r = 0; r < rowsUsed; ++r)
        for (int c = 0; c < COLUMNS; ++c)
            CHECK(reference[r][c].character == batched[r][c].character &&
                      reference[r][c].attribute == batched[r][c].attribute,
                  "column %d row %d shows %04x/%04x, one write per cell gives %04x/%04x", c, r,
                  batched[r][c].character, batched[r][c].attribute, reference[r][c].character,
                  reference[r][c].attribute);
    return 0;
}
