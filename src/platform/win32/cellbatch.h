// Cell batching for a console that takes a block of cells per call (the
// Windows console): single cells are held and go out as rectangles of
// adjacent cells, so an opaque frame is one call instead of one per cell.
// Pure code: it calls nothing but writeCellBlock, which the program that
// links it provides (the Windows layer; the tests record the blocks).
#pragma once

#include <cstdint>

#include "platform/console.h"

// The most cells one block's buffer spans (stride x height): older Windows
// consoles pass each call's whole buffer through a 64 KB shared heap, where
// a larger one can fail and draw nothing.
const int MAX_BLOCK_CELLS = 8000;

// width x height cells whose top-left lands at `at`; row r of the block
// starts at cells[r * stride].
struct CellBlock {
    const Cell *cells;
    int16_t stride;
    int16_t width;
    int16_t height;
    Position at;
};

// Holds one cell (column and row not negative). A cell outside the held
// window first sends what is held.
void batchCell(Position at, Cell cell);

// Sends every held cell. The screen then shows exactly what writing each
// cell on its own, in the order batchCell took them, would show.
void sendBatch();

// Provided by the linking program: writes one block.
void writeCellBlock(const CellBlock &block);
