// An in-memory console for the unit tests: every operation acts on the
// record in memory.h; nothing waits, sleeps or touches the terminal.
#include "platform/memory/memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dispatch/program.h"
#include "platform/runtime.h"

MemoryConsole memoryConsole;

namespace {

MemoryConsole &mc = memoryConsole;

bool onScreen(int column, int row) {
    return column >= 0 && row >= 0 && column < mc.columns && row < mc.rows;
}

void dropFirstEvent() {
    std::memmove(&mc.events[0], &mc.events[1], sizeof mc.events[0] * (mc.eventCount - 1));
    --mc.eventCount;
}

// Events whose time has not come are not pending yet.
int pendingEvents() {
    int n = 0;
    while (n < mc.eventCount && mc.events[n].arrivesAfterCounts <= 0) ++n;
    return n;
}

}  // namespace

void resetMemoryConsole(int columns, int rows) {
    mc = MemoryConsole{};
    mc.columns = columns;
    mc.rows = rows;
    for (auto &row : mc.cells)
        for (Cell &cell : row) cell = Cell{' ', 0x07};
    mc.textAttribute = 0x07;
    mc.cursorShape = CursorShape{25, CURSOR_SHOWN};
    mc.literalCharset = CHARSET_CP1252;
    mc.inputIsConsole = true;
    mc.inputMode = 0x1F7;
    mc.now = DateTime{2024, 3, 2, 5, 9, 7, 3, 45};
}

void queueKeyCodes(int first, int second) {
    mc.keys[mc.keyCount++] = first;
    if (second >= 0) mc.keys[mc.keyCount++] = second;
}

void queueEvent(const InputEvent &event, int arrivesAfterCounts) {
    mc.events[mc.eventCount++] = ScriptedEvent{event, arrivesAfterCounts};
}

int32_t runConx(const std::vector<std::string> &arguments) {
    static std::vector<std::string> storage;  // kept: the vector outlives the run
    static std::vector<char *> vector;
    storage.assign(1, "conx");
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    vector.clear();
    for (std::string &s : storage) vector.push_back(&s[0]);
    vector.push_back(nullptr);
    return runCommandLine(static_cast<int>(storage.size()), vector.data(), 0);
}

std::string screenRow(int row) {
    std::string text;
    for (int c = 0; c < mc.columns; ++c) text += static_cast<char>(mc.cells[row][c].ch);
    return text;
}

// ---- The platform operations ----------------------------------------------

namespace console {

void writeCell(Position at, Cell cell) {
    ++mc.cellWrites;
    if (at.column < 0 || at.row < 0) ++mc.negativeCellWrites;
    if (!onScreen(at.column, at.row)) return;
    mc.cells[at.row][at.column] = cell;
    mc.written[at.row][at.column] = true;
}

void flushScreen() { ++mc.flushCalls; }

int literalCharacter(const char *text, Character *character) {
    return characterAt(mc.literalCharset, text, character);
}

void writeCharacter(Position at, Character character, uint16_t attribute) {
    mc.characters.push_back(CharacterWrite{at, character, attribute});
}

void setTextAttribute(uint16_t attribute) { mc.textAttribute = attribute; }

void setCursorPosition(Position at) {
    if (onScreen(at.column, at.row)) mc.cursor = at;
}

CursorShape cursorShape() { return mc.cursorShape; }

void setCursorShape(CursorShape shape) {
    if (shape.size >= 1 && shape.size <= 100) mc.cursorShape = shape;
}

void setFont(uint32_t index) { mc.font = index; }

bool inputMode(uint32_t *mode) {
    if (!mc.inputIsConsole) return false;
    *mode = mc.inputMode;
    return true;
}

void setInputMode(uint32_t mode) {
    ++mc.modeWrites;
    if (mc.inputIsConsole) mc.inputMode = mode;
}

// Nothing can wait in memory: with no event left the read fails.
bool readInputEvent(InputEvent *event) {
    if (!mc.inputIsConsole || mc.eventCount == 0) return false;
    *event = mc.events[0].event;
    dropFirstEvent();
    return true;
}

bool peekInputEvent(InputEvent *event) {
    if (!mc.inputIsConsole || pendingEvents() == 0) return false;
    *event = mc.events[0].event;
    return true;
}

bool countInputEvents(uint32_t *count) {
    if (!mc.inputIsConsole) return false;
    for (int i = 0; i < mc.eventCount; ++i) --mc.events[i].arrivesAfterCounts;
    *count = static_cast<uint32_t>(pendingEvents());
    return true;
}

// Counted as the 1 ms sleep it is on Windows.
void awaitInput() { sleepMilliseconds(1); }

void flushInputEvents() {
    if (!mc.inputIsConsole) return;
    mc.eventCount = 0;
    mc.keyCount = 0;
}

bool keyWaiting() { return mc.keyCount > 0; }

int readKeyCode() {
    if (mc.keyCount == 0) {
        ++mc.keyReadsWithoutKey;
        return -1;
    }
    int code = mc.keys[0];
    std::memmove(&mc.keys[0], &mc.keys[1], sizeof mc.keys[0] * (mc.keyCount - 1));
    --mc.keyCount;
    return code;
}

void noteKeyCode(int32_t code) {
    ++mc.keyCodeNotes;
    mc.notedKeyCode = code;
}

// A wait that outlasts sleepLimit would never end: the test stops here.
void sleepMilliseconds(uint32_t milliseconds) {
    ++mc.sleepCalls;
    mc.sleptMilliseconds += milliseconds;
    if (mc.sleepLimit > 0 && mc.sleepCalls > mc.sleepLimit) {
        std::fprintf(stderr, "memory console: a wait did not end after %d sleeps\n", mc.sleepLimit);
        std::abort();
    }
}

DateTime localTime() { return mc.now; }


}  // namespace console

void writeReport(const char *text, int length) { mc.output.append(text, static_cast<size_t>(length)); }
