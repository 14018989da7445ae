// The console's wide characters; see cellwidth.h.
#include "platform/win32/cellwidth.h"

namespace {

struct WideBlock {
    uint16_t first, last;
};

// The characters that the console is told to draw over two cells: the
// blocks of East Asian wide and fullwidth characters (Unicode 14), which
// the C library, and so the terminal that Wine's console runs in, measures
// as two cells too, the Yijing hexagrams among them. The few combining
// marks in these blocks take two cells with them.
const WideBlock WideBlocks[] = {
    // first   last       characters
    {0x1100, 0x115F},  // Hangul initial consonants
    {0x2E80, 0x303E},  // CJK and Kangxi radicals, ideographic punctuation
    {0x3041, 0xA4C6},  // Hiragana, Katakana, Bopomofo, Hangul letters, CJK
                       // strokes and ideographs, Yijing hexagrams, Yi
    {0xAC00, 0xD7A3},  // Hangul syllables
    {0xF900, 0xFAFF},  // CJK compatibility ideographs
    {0xFE30, 0xFE6B},  // CJK compatibility forms, small form variants
    {0xFF01, 0xFF60},  // fullwidth ASCII
    {0xFFE0, 0xFFE6},  // fullwidth signs
};

}  // namespace

int consoleCellWidth(uint32_t codePoint) {
    for (const WideBlock &block : WideBlocks)
        if (codePoint >= block.first && codePoint <= block.last) return 2;
    return 1;
}
