// The Windows layer's pure code. The cell batching: the blocks it sends
// draw exactly what one write per cell draws, opaque frames go out whole,
// no block is larger than the console takes or cuts a wide character in
// two. The console's wide characters.
#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/cellbatch.h"
#include "platform/win32/cellwidth.h"

namespace {

const int COLUMNS = 600, ROWS = 120;

struct Screen {
    std::vector<ConsoleCell> cells = std::vector<ConsoleCell>(COLUMNS * ROWS, ConsoleCell{' ', 7});
    void put(int column, int row, ConsoleCell cell) {
        if (column < COLUMNS && row < ROWS) cells[row * COLUMNS + column] = cell;
    }
    bool operator==(const Screen &o) const {
        for (size_t i = 0; i < cells.size(); ++i)
            if (cells[i].character != o.cells[i].character || cells[i].attribute != o.cells[i].attribute) return false;
        return true;
    }
};

Screen batched;
std::vector<CellBlock> blocks;

struct Write {
    int column, row;
    ConsoleCell cell;
};

// Cells of a picture whose top-left is (column, row): one line per row, a
// blank is a transparent cell, "<>" a wide character's two halves; the
// attribute's colours count up with each cell.
std::vector<Write> picture(int column, int row, const std::vector<std::string> &lines) {
    std::vector<Write> writes;
    uint16_t attribute = 0;
    for (size_t r = 0; r < lines.size(); ++r)
        for (size_t c = 0; c < lines[r].size(); ++c) {
            char ch = lines[r][c];
            uint16_t half = ch == '<' ? LEADING_HALF : ch == '>' ? TRAILING_HALF : 0;
            if (ch != ' ')
                writes.push_back(Write{column + static_cast<int>(c), row + static_cast<int>(r),
                                       ConsoleCell{static_cast<uint16_t>(ch),
                                                   static_cast<uint16_t>((++attribute & 0xFF) | half)}});
        }
    return writes;
}

std::vector<std::string> frame(int columns, int rows, bool band) {
    std::vector<std::string> lines;
    for (int r = 0; r < rows; ++r) {
        std::string line(columns, '#');
        if (band) line.replace(columns / 2, columns / 10, columns / 10, ' ');
        lines.push_back(line);
    }
    return lines;
}

// Sends `writes` through the batch and checks the screen against writing
// them one by one; returns the blocks sent.
void expectSameScreen(const std::vector<Write> &writes) {
    batched = Screen{};
    blocks.clear();
    Screen reference;
    for (const Write &w : writes) {
        reference.put(w.column, w.row, w.cell);
        batchCell(Position{static_cast<int16_t>(w.column), static_cast<int16_t>(w.row)}, w.cell);
    }
    sendBatch();
    EXPECT_TRUE(batched == reference);
    for (const CellBlock &b : blocks) {
        EXPECT_LE(b.stride * b.height, MAX_BLOCK_CELLS);
        for (int r = 0; r < b.height; ++r) {
            EXPECT_FALSE(b.cells[r * b.stride].attribute & TRAILING_HALF) << "a row begins with a trailing half";
            EXPECT_FALSE(b.cells[r * b.stride + b.width - 1].attribute & LEADING_HALF) << "... ends with a leading one";
        }
    }
}

TEST(CellBatch, DrawsExactlyWhatOneWritePerCellDraws) {
    expectSameScreen(picture(5, 2, {"Hello", "xy z"}));
    expectSameScreen(picture(70, 20, frame(30, 10, true)));
    expectSameScreen(picture(250, 0, {"abcdefghijklmnopqrst", "klmnopqrst"}));  // across 256
    expectSameScreen(picture(0, 0, frame(90, 70, false)));                      // past 64 rows
    expectSameScreen(picture(3, 0, {"  ab", "cdef", "gh", " i"}));  // lines start further left
    std::vector<Write> twice = picture(0, 0, {"aaaa", "aaaa"});
    for (const Write &w : picture(1, 0, {"bb", "bb"})) twice.push_back(w);
    expectSameScreen(twice);  // a later cell at the same place wins
    expectSameScreen(picture(0, 0, {std::string(32000, 'x')}));
    expectSameScreen(picture(4, 1, {"abc", "<><>", "a<>b", "<>"}));  // rows cutting wide ones
    expectSameScreen(picture(16, 0, {std::string(239, 'x') + "<>y"}));  // one across the window
}

TEST(CellBatch, AnOpaqueFrameIsOneBlockAndABandMakesTwo) {
    expectSameScreen(picture(0, 0, frame(80, 25, false)));
    EXPECT_EQ(blocks.size(), 1u);
    expectSameScreen(picture(0, 0, frame(80, 25, true)));
    EXPECT_EQ(blocks.size(), 2u) << "a transparent band down the frame leaves two blocks";
}

TEST(CellBatch, LargeFramesAreSplitAtTheConsolesLimit) {
    expectSameScreen(picture(0, 0, frame(200, 60, false)));
    ASSERT_EQ(blocks.size(), 2u) << "a 200x60 frame's buffer spans 12,000 cells and more";
    EXPECT_EQ(blocks[1].at.row, blocks[0].height);
}

// The terminal that Wine's console runs in measures text by the C library:
// what the console draws over two cells is wide there too (or a combining
// mark, or unassigned).
TEST(ConsoleCellWidth, WideCharactersAreTheCLibrarysWideOnes) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    for (uint32_t c = 0xA0; c < 0x10000; ++c) {
        if (consoleCellWidth(c) != 2) continue;
        EXPECT_NE(wcwidth(static_cast<wchar_t>(c)), 1) << std::hex << c;
    }
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(consoleCellWidth(0x65E5), 2);  // 日
    EXPECT_EQ(consoleCellWidth(0xFF71), 1);  // ｱ, halfwidth
    EXPECT_EQ(consoleCellWidth(0x2500), 1);  // ─, narrow on Windows and in glibc alike
}

}  // namespace

void writeCellBlock(const CellBlock &block) {
    blocks.push_back(block);
    for (int r = 0; r < block.height; ++r)
        for (int c = 0; c < block.width; ++c)
            batched.put(block.at.column + c, block.at.row + r, block.cells[r * block.stride + c]);
}
