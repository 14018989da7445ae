// Fuzz target: the escape decoder and the cell writer on a small screen.
//
// Input bytes: screen columns (1-16) and rows (1-8), the start column and
// row as 16-bit values (so positions near the wrap-around and far off the
// screen come up), then texts separated by NUL bytes, each starting with
// its attribute byte. The texts go through writeEscapedText and putCell
// as PRINT feeds them; every cell and the final position must be what the
// model of the decoder gives. The texts then go through again read as
// UTF-8, as a Unix PRINT reads them, for the sanitizers alone to watch.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    int columns = 1 + in.byte() % 16, rows = 1 + in.byte() % 8;
    int16_t row = static_cast<int16_t>(in.u16()), column = static_cast<int16_t>(in.u16());
    std::vector<uint16_t> attributes;
    std::vector<std::string> texts;
    std::string rest = in.rest();
    for (size_t start = 0; start <= rest.size();) {
        size_t end = rest.find('\0', start);
        if (end == std::string::npos) end = rest.size();
        std::string piece = rest.substr(start, end - start);
        attributes.push_back(piece.empty() ? 0x07 : static_cast<uint8_t>(piece[0]));
        texts.push_back(piece.empty() ? piece : piece.substr(1));
        start = end + 1;
    }
    resetMemoryConsole(columns, rows);

    ModelCursor cursor = {column, column, row, 0};
    static std::vector<CellWrite> writes;
    writes.clear();
    for (size_t i = 0; i < texts.size(); ++i) {
        cursor.attribute = attributes[i];
        for (int c : modelDecode(texts[i].c_str())) modelPutCell(cursor, c, writes);
    }

    static MemoryConsole before;
    before = memoryConsole;
    textCursor = TextCursor{column, column, row, 0};
    writeEscapedText(nullptr);  // a null text does nothing
    for (size_t i = 0; i < texts.size(); ++i) {
        textCursor.attribute = attributes[i];
        writeEscapedText(texts[i].c_str());
    }
    checkCells(before, writes, "text");
    CHECK(textCursor.column == cursor.column && textCursor.row == cursor.row &&
              textCursor.startColumn == cursor.startColumn,
          "position after the text: column %d row %d, the model gives column %d row %d",
          textCursor.column, textCursor.row, cursor.column, cursor.row);
    memoryConsole.literalCharset = CHARSET_UTF8;
    for (const std::string &text : texts) writeEscapedText(text.c_str());
    return 0;
}
