// The text cell writer. putCell tracks PRINT's position itself and never
// moves the console cursor. Cells are held in a screen-shaped stage and go
// out as rectangles of adjacent cells: an opaque frame is one console call
// instead of one call per cell, and the screen ends up exactly as if each
// cell had been written on its own in text order.
#include <cstring>

#include "output/text.h"

TextCursor textCursor;
bool cellByCell;

namespace {

const int TRANSPARENT = 0;
const int NEW_LINE = 10;

// The stage: a window of the screen whose top-left is (stageColumn,
// stageRow). A cell outside it sends what is held and moves the window.
// Stage row 0 is always the top row holding cells: a cell above it is
// outside the window.
const int STAGE_COLUMNS = 256;
const int STAGE_ROWS = 64;
Cell stage[STAGE_ROWS + 1][STAGE_COLUMNS];  // + a spare row: a block read
                                            // may span whole stage rows
bool held[STAGE_ROWS][STAGE_COLUMNS];  // cell waiting to be sent
int stageColumn, stageRow;             // screen position of stage[0][0]
int heldRows;  // stage rows 0..heldRows-1 may hold cells; 0: nothing held

// Columns left..right of stage row `row` are all held.
bool rowHeld(int row, int left, int right) {
    for (int c = left; c <= right; ++c)
        if (!held[row][c]) return false;
    return true;
}

// Sends the rectangle whose top row is the run left..right of `top`,
// grown down over every following row that holds the same columns.
void sendRectangle(int top, int left, int right) {
    int bottom = top;
    while (bottom + 1 < heldRows && rowHeld(bottom + 1, left, right)) ++bottom;
    for (int r = top; r <= bottom; ++r)
        std::memset(&held[r][left], 0, static_cast<size_t>(right - left + 1));
    Position at = {static_cast<int16_t>(stageColumn + left), static_cast<int16_t>(stageRow + top)};
    writeCells(&stage[top][left], STAGE_COLUMNS, static_cast<int16_t>(right - left + 1),
               static_cast<int16_t>(bottom - top + 1), at);
}

// Places the stage's top row at `row` and its left edge at PRINT's start
// column, where every line of the text begins, when that covers `column`.
void moveStage(int column, int row) {
    int left = textCursor.startColumn;
    bool covered = left >= 0 && left <= column && column - left < STAGE_COLUMNS;
    stageColumn = covered ? left : column;
    stageRow = row;
}

void holdCell(int column, int row, Cell cell) {
    int c = column - stageColumn, r = row - stageRow;
    if (heldRows > 0 && (c < 0 || c >= STAGE_COLUMNS || r < 0 || r >= STAGE_ROWS)) sendCells();
    if (heldRows == 0) {
        moveStage(column, row);
        c = column - stageColumn;
        r = 0;
    }
    stage[r][c] = cell;
    held[r][c] = true;
    if (r >= heldRows) heldRows = r + 1;
}

}  // namespace

void sendCells() {
    for (int r = 0; r < heldRows; ++r) {
        for (int c = 0; c < STAGE_COLUMNS; ++c) {
            if (!held[r][c]) continue;
            int right = c;
            while (right + 1 < STAGE_COLUMNS && held[r][right + 1]) ++right;
            sendRectangle(r, c, right);
            c = right;
        }
    }
    heldRows = 0;
    flushScreen();
}

int putCell(int c) {
    TextCursor &t = textCursor;
    if (c == TRANSPARENT) {
        t.column = static_cast<int16_t>(t.column + 1);
        return c;
    }
    if (c == NEW_LINE) {
        t.row = static_cast<int16_t>(t.row + 1);
        t.column = t.startColumn;
        return c;
    }
    if (t.column >= 0 && t.row >= 0) {
        Cell cell = {static_cast<uint8_t>(c), 0, t.attribute};
        if (cellByCell) writeCells(&cell, 1, 1, 1, Position{t.column, t.row});
        else holdCell(t.column, t.row, cell);
    }
    t.column = static_cast<int16_t>(t.column + 1);
    return c;
}
