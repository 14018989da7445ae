// The screen side: PRINT's cells gathered into one write, the cursor, the
// colour of later text, the font, and the reports' characters.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/console.h"
#include "platform/runtime.h"
#include "platform/terminal/terminal.h"

namespace {

const int SCREEN = STDOUT_FILENO;

// PRINT's cells, encoded as they come (in text order, which is row order)
// and written with one write() at flushScreen.
struct CellOutput {
    char bytes[65536];    // one PRINT's bytes
    ScreenStream stream;  // what they have drawn so far
    bool open;            // cells have begun (DECSC sent)
    bool drawn;           // a PRINT drew this run: input is left alone
};

// What the run prints on standard output: its one report, or KBD's code.
const int REPORT_BYTES = 256 * 3;  // the longest report, each byte a character
struct ReportOutput {
    char bytes[REPORT_BYTES];
    int length;
};

CellOutput cellOutput;  // the screen side
ReportOutput report;    // standard output's, at the end

void writeScreen(const char *text) {
    if (screenIsTerminal) writeAll(SCREEN, text, std::strlen(text));
}

// A short sequence (an attribute, a move, the cursor's shape), built and
// sent at once.
struct Sequence {
    char bytes[64];
    ScreenStream stream;
};

ScreenStream *startSequence(Sequence *q, int columns = 0, int rows = 0) {
    startStream(&q->stream, q->bytes, sizeof q->bytes, columns, rows);
    return &q->stream;
}

void send(const Sequence &q) {
    if (screenIsTerminal) writeAll(SCREEN, q.bytes, static_cast<size_t>(q.stream.length));
}

void startCells() {
    int columns, rows;
    screenSize(&columns, &rows);
    CellOutput &out = cellOutput;
    startStream(&out.stream, out.bytes, sizeof out.bytes, columns, rows, charset);
    appendText(&out.stream, START_CELLS);
    out.open = true;
}

// The stream with room for one more cell: begun, and emptied when full.
ScreenStream *cellStream() {
    CellOutput &out = cellOutput;
    if (!out.open) startCells();
    if (out.stream.length + MAX_CELL_BYTES > out.stream.capacity) {
        writeAll(SCREEN, out.stream.bytes, static_cast<size_t>(out.stream.length));
        out.stream.length = 0;  // the terminal keeps the cursor and SGR
    }
    return &out.stream;
}

}  // namespace

bool frameDrawn() { return cellOutput.drawn; }

namespace console {

void writeCell(Position at, Cell cell) {
    if (!screenIsTerminal) return;
    ScreenStream *s = cellStream();
    if (at.column < 0 || at.row < 0 || at.column >= s->columns || at.row >= s->rows) return;
    appendCell(s, at.column, at.row, cell.ch, cell.attribute);
}

// Literal text is in the locale's character set, the terminal's.
int literalCharacter(const char *text, Character *character) {
    return characterAt(charset, text, character);
}

void writeCharacter(Position at, Character character, uint16_t attribute) {
    if (screenIsTerminal) appendCharacterCell(cellStream(), at.column, at.row, character, attribute);
}

// A PRINT's frame is complete. A terminal cannot be peeked: PRINT's key
// poll would take what it looks at, and a key without a character or a
// click taken there cannot reach the script through 8 bits of exit status.
// So after a frame the input stays for the next KBD, _KBD or INPUTHIT.
void flushScreen() {
    CellOutput &out = cellOutput;
    out.drawn = true;
    if (!out.open) return;
    appendText(&out.stream, END_CELLS);
    writeAll(SCREEN, out.stream.bytes, static_cast<size_t>(out.stream.length));
    out.open = false;
}

// Left in force after the run, as on Windows (the shell's later output).
void setTextAttribute(uint16_t attribute) {
    Sequence q;
    appendAttribute(startSequence(&q), attribute);
    send(q);
}

void setCursorPosition(Position at) {
    if (!screenIsTerminal) return;
    int columns, rows;
    screenSize(&columns, &rows);
    if (at.column < 0 || at.row < 0 || at.column >= columns || at.row >= rows) return;
    Sequence q;
    appendCursorPosition(startSequence(&q, columns, rows), at.column, at.row);
    send(q);
}

// Neither the size nor the visibility can be read back from every terminal
// (tmux answers no query), so the record says: not known. What the command
// set in it is sent, and nothing else: 'CURSOR 1' shows the cursor in the
// shape it has, and a setting that changes nothing sends nothing.
CursorShape cursorShape() { return CursorShape{0, CURSOR_VISIBILITY_NOT_KNOWN}; }

void setCursorShape(CursorShape shape) {
    Sequence q;
    appendCursorShape(startSequence(&q), shape);
    send(q);
}

// xterm's font menu: entry 0 the default, 1-6 the menu's sizes; other
// terminals, and xterm unless its allowFontOps resource is true, ignore
// the request.
void setFont(uint32_t index) {
    char bytes[32];
    std::snprintf(bytes, sizeof bytes, FONT_FORMAT, index);
    writeScreen(bytes);
}

}  // namespace console

// Reports are ASCII but for INPUTHIT's key character, a 1252 byte: bytes
// 80-FF go out as their characters in the terminal's character set, as
// PRINT shows them. To a terminal, which would take them as controls
// (Escape and a `c` after it reset xterm), control bytes are shown as PRINT
// shows them too, but for the report's own line end; a pipe or a file gets
// them as they are. They wait in `report` for sendReport.
void writeReport(const char *text, int length) {
    ScreenStream s;
    startStream(&s, report.bytes + report.length, REPORT_BYTES - report.length, 0, 0, charset);
    for (int i = 0; i < length; ++i) {
        uint8_t byte = static_cast<uint8_t>(text[i]);
        char one[2] = {text[i], '\0'};
        bool control = byte < 0x20 || byte == 0x7F;
        bool lineEnd = byte == '\n' && i == length - 1;
        if (byte < 0x80 && !(control && screenIsTerminal && !lineEnd)) appendText(&s, one);
        else appendCharacter(&s, byte);
    }
    report.length += s.length;
}

bool sendReport() { return writeAll(SCREEN, report.bytes, static_cast<size_t>(report.length)); }
