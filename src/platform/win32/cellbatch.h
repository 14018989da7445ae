// Cell batching for a console that takes a block of cells per call (the
// Windows console): single cells are held and go out as rectangles of
// adjacent cells, so an opaque frame is one call instead of one per cell.
// Pure code: it calls nothing but writeCellBlock, which the program that
// links it provides (the Windows layer; the tests record the blocks).
#pragma once

#include <cstdint>

#include "platform/console.h"

// A cell as the console takes it, laid out as the Windows CHAR_INFO: a
// UTF-16 code unit and the attribute. A wide character is two cells, the
// attribute of the first carrying LEADING_HALF and of the second
// TRAILING_HALF; the console draws the first over both.
struct ConsoleCell {
    uint16_t character;
    uint16_t attribute;
};
const uint16_t LEADING_HALF = 0x0100;   // COMMON_LVB_LEADING_BYTE
const uint16_t TRAILING_HALF = 0x0200;  // COMMON_LVB_TRAILING_BYTE

// The most cells one block's buffer spans (stride x height): older Windows
// consoles pass each call's whole buffer through a 64 KB shared heap, where
// a larger one can fail and draw nothing.
const int MAX_BLOCK_CELLS = 8000;

// width x height cells whose top-left lands at `at`; row r of the block
// starts at cells[r * stride].
struct CellBlock {
    const ConsoleCell *cells;
    int16_t stride;
    int16_t width;
    int16_t height;
    Position at;
};

// Holds one cell (column and row not negative); a wide character's two
// halves come one after the other. A cell outside the held window first
// sends what is held.
void batchCell(Position at, ConsoleCell cell);

// Sends every held cell. The screen then shows exactly what writing each
// cell on its own, in the order batchCell took them, would show, and no
// block's row begins with a trailing half or ends with a leading one (the
// Windows console mistakes a half that comes alone).
void sendBatch();

// Provided by the linking program: writes one block.
void writeCellBlock(const CellBlock &block);
