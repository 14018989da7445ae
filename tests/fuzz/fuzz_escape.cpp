// Fuzz target: the escape decoder and the cell writer on a small screen.
//
// Input bytes: screen columns (1-16) and rows (1-8), the start column and
// row as 16-bit values (so positions near the wrap-around and far off the
// screen come up), then texts separated by NUL bytes, each starting with
// its attribute byte. The texts go through writeEscapedText and putCell
// as PRINT feeds them, once cell by cell and once grouped; every cell and
// the final position must be what the rules give, and both runs equal.
#include "harness.h"

namespace {

struct Texts {
    std::vector<uint16_t> attributes;
    std::vector<std::string> texts;
};

Texts split(ByteReader &in) {
    Texts t;
    std::string rest = in.rest();
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\0', start);
        if (end == std::string::npos) end = rest.size();
        std::string piece = rest.substr(start, end - start);
        t.attributes.push_back(piece.empty() ? 0x07 : static_cast<uint8_t>(piece[0]));
        t.texts.push_back(piece.empty() ? piece : piece.substr(1));
        start = end + 1;
    }
    return t;
}

void draw(const Texts &t, int16_t row, int16_t column, bool oneCellAtATime) {
    cellByCell = oneCellAtATime;
    setOutputCodePage(1252);  // as PRINT draws
    textCursor = TextCursor{column, column, row, 0};
    for (size_t i = 0; i < t.texts.size(); ++i) {
        textCursor.attribute = t.attributes[i];
        writeEscapedText(t.texts[i].c_str());
    }
    sendCells();
    cellByCell = false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    int columns = 1 + in.byte() % 16, rows = 1 + in.byte() % 8;
    int16_t row = static_cast<int16_t>(in.u16()), column = static_cast<int16_t>(in.u16());
    Texts t = split(in);
    resetMemoryConsole(columns, rows);

    ModelCursor cursor = {column, column, row, 0};
    static std::vector<LoggedCell> writes;
    writes.clear();
    for (size_t i = 0; i < t.texts.size(); ++i) {
        cursor.attribute = t.attributes[i];
        for (int c : modelDecode(t.texts[i].c_str())) modelPutCell(cursor, c, writes);
    }
    writeEscapedText(nullptr);  // a null text does nothing

    static MemoryConsole before, byCell;
    before = memoryConsole;
    startLog();
    draw(t, row, column, true);
    checkCellByCellLog(writes);
    checkScreen(before, writes, "cell by cell");
    CHECK(textCursor.column == cursor.column && textCursor.row == cursor.row &&
              textCursor.startColumn == cursor.startColumn,
          "position after the text: column %d row %d, the rules give column %d row %d",
          textCursor.column, textCursor.row, cursor.column, cursor.row);
    byCell = memoryConsole;

    memoryConsole = before;
    startLog();
    draw(t, row, column, false);
    checkGroupedLogWithin(writes);
    checkScreen(before, writes, "grouped");
    CHECK(textCursor.column == cursor.column && textCursor.row == cursor.row,
          "grouped: position after the text differs");
    checkSameConsole(byCell, memoryConsole);
    return 0;
}
