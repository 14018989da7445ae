// Cell batching; see cellbatch.h. Held cells live in a window of the
// screen, and a held cell is simply overwritten by a later one at the same
// place, so the order of the blocks never matters: no two held cells share
// a screen cell.
#include "platform/win32/cellbatch.h"

namespace {

// The window: BATCH_ROWS rows from the top held row, BATCH_COLUMNS columns
// from a left edge a little left of the first cell (a later line may start
// a few columns further left, after transparent cells).
const int BATCH_COLUMNS = 256;
const int BATCH_ROWS = 64;
const int LEFT_SLACK = 16;

ConsoleCell held[BATCH_ROWS + 1][BATCH_COLUMNS];  // + a spare row: a block's
                                           // declared stride x height may
                                           // reach one row past its last cell
int windowColumn, windowRow;  // screen position of held[0][0]
int heldRows;  // rows 0..heldRows-1 may hold cells; 0: nothing held

// Row `row` holds columns left..right, and no wide character there has a
// half outside them.
bool isHeld(int row, int column) { return held[row][column].character != 0; }

bool rowHeld(int row, int left, int right) {
    for (int c = left; c <= right; ++c)
        if (!isHeld(row, c)) return false;
    return !(held[row][left].attribute & TRAILING_HALF) && !(held[row][right].attribute & LEADING_HALF);
}

// Sends the rectangle whose top row is the run left..right of `top`, grown
// down over the following rows that hold the same columns, as far as a
// block's buffer may reach (it spans whole rows of the window). A run holds
// both halves of its wide characters, which come together.
void sendRectangle(int top, int left, int right) {
    int width = right - left + 1;
    int bottom = top;
    while (bottom + 1 < heldRows && (bottom - top + 2) * BATCH_COLUMNS <= MAX_BLOCK_CELLS &&
           rowHeld(bottom + 1, left, right))
        ++bottom;
    Position at = {static_cast<int16_t>(windowColumn + left), static_cast<int16_t>(windowRow + top)};
    writeCellBlock(CellBlock{&held[top][left], BATCH_COLUMNS, static_cast<int16_t>(width),
                             static_cast<int16_t>(bottom - top + 1), at});
    for (int r = top; r <= bottom; ++r)
        for (int c = left; c <= right; ++c) held[r][c].character = 0;
}

}  // namespace

void batchCell(Position at, ConsoleCell cell) {
    int c = at.column - windowColumn, r = at.row - windowRow;
    // The window's last column is kept for a wide character's trailing half,
    // which then always lies in its leading half's window.
    int columns = cell.attribute & TRAILING_HALF ? BATCH_COLUMNS : BATCH_COLUMNS - 1;
    if (heldRows > 0 && (c < 0 || c >= columns || r < 0 || r >= BATCH_ROWS)) sendBatch();
    if (heldRows == 0) {
        windowColumn = at.column < LEFT_SLACK ? 0 : at.column - LEFT_SLACK;
        windowRow = at.row;
        c = at.column - windowColumn;
        r = 0;
    }
    held[r][c] = cell;
    if (r >= heldRows) heldRows = r + 1;
}

void sendBatch() {
    for (int r = 0; r < heldRows; ++r) {
        for (int c = 0; c < BATCH_COLUMNS; ++c) {
            if (!isHeld(r, c)) continue;
            int right = c;
            while (right + 1 < BATCH_COLUMNS && isHeld(r, right + 1)) ++right;
            sendRectangle(r, c, right);
            c = right;
        }
    }
    heldRows = 0;
}
