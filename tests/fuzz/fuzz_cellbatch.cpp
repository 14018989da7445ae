// Fuzz target: the Windows layer's cell batching.
//
// Input bytes: cell writes to the end, as text flows: a step byte, the
// character and the attribute byte. Step bits 0-1: 0 or 1 the next
// column, 2 the next row at the start column, 3 a jump to the column and
// row in the next 4 bytes (mod 520 and 80; the jump sets the start
// column); bits 2-4: columns skipped first (transparent cells).
// They go through batchCell, with a sendBatch after every write whose
// character is '!' (as PRINT ends). Checked: the screen the blocks draw
// equals the one a write per cell draws; every block is real, at a place
// not negative, within 16-bit edges, a buffer of at most MAX_BLOCK_CELLS, read
// from a source that is readable over its whole declared stride x height,
// and covers only places that some write since the last send reached.
#include <sanitizer/asan_interface.h>

#include <cstring>

#include "harness.h"
#include "platform/win32/cellbatch.h"

namespace {

const int COLUMNS = 520, ROWS = 80;  // beyond two batch windows each way
const int INT16_LIMIT = 32767;

Cell reference[ROWS][COLUMNS], batched[ROWS][COLUMNS];
bool reached[ROWS][COLUMNS];  // written since the last send
int rowsUsed;                 // rows 0..rowsUsed-1 hold writes

void clearRows(int rows) {
    size_t cells = static_cast<size_t>(rows) * COLUMNS;
    std::memset(reference, 0, cells * sizeof(Cell));
    std::memset(batched, 0, cells * sizeof(Cell));
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
    size_t declared = static_cast<size_t>(b.stride) * static_cast<size_t>(b.height) * sizeof(Cell);
    CHECK(!__asan_region_is_poisoned(const_cast<Cell *>(b.cells), declared),
          "block source of %dx%d cells (stride %d) reaches outside its buffer", b.width, b.height, b.stride);
    for (int r = 0; r < b.height; ++r)
        for (int c = 0; c < b.width; ++c) {
            int column = b.at.column + c, row = b.at.row + r;
            CHECK(column < COLUMNS && row < ROWS && reached[row][column],
                  "block covers column %d row %d, which no write reached", column, row);
            batched[row][column] = b.cells[r * b.stride + c];
        }
}

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
        if (column >= COLUMNS || row >= ROWS) continue;
        Cell cell = {in.byte(), 0, in.byte()};
        reference[row][column] = cell;
        reached[row][column] = true;
        if (row >= rowsUsed) rowsUsed = row + 1;
        batchCell(Position{static_cast<int16_t>(column), static_cast<int16_t>(row)}, cell);
        if (cell.ch == '!') {
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
            CHECK(reference[r][c].ch == batched[r][c].ch &&
                      reference[r][c].attribute == batched[r][c].attribute,
                  "column %d row %d shows %02x/%04x, one write per cell gives %02x/%04x", c, r,
                  batched[r][c].ch, batched[r][c].attribute, reference[r][c].ch,
                  reference[r][c].attribute);
    return 0;
}
