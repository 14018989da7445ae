// An in-memory console for the unit tests: every operation acts on the
// record in memory.h; nothing waits, sleeps or touches the terminal.
#include "platform/memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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
        for (Cell &cell : row) cell = Cell{' ', 0, 0x07};
    mc.textAttribute = 0x07;
    mc.cursorShape = CursorShape{25, true};
    mc.codePage = 437;
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

InputEvent keyEvent(bool down, uint16_t virtualKey, char ch) {
    InputEvent e = {};
    e.type = KEY_EVENT_TYPE;
    uint32_t keyDown = down ? 1 : 0;
    uint16_t repeat = 1;
    std::memcpy(e.payload + KEY_DOWN_AT, &keyDown, 4);
    std::memcpy(e.payload + KEY_REPEAT_AT, &repeat, 2);
    std::memcpy(e.payload + KEY_VIRTUAL_AT, &virtualKey, 2);
    e.payload[KEY_CHARACTER_AT] = static_cast<uint8_t>(ch);
    return e;
}

InputEvent mouseEvent(int16_t column, int16_t row, uint32_t buttons, uint32_t flags) {
    InputEvent e = {};
    e.type = MOUSE_EVENT_TYPE;
    std::memcpy(e.payload + MOUSE_COLUMN_AT, &column, 2);
    std::memcpy(e.payload + MOUSE_ROW_AT, &row, 2);
    std::memcpy(e.payload + MOUSE_BUTTONS_AT, &buttons, 4);
    std::memcpy(e.payload + MOUSE_FLAGS_AT, &flags, 4);
    return e;
}

InputEvent focusEvent(bool gained) {
    InputEvent e = {};
    e.type = FOCUS_EVENT_TYPE;
    e.payload[FOCUS_SET_AT] = gained ? 1 : 0;
    return e;
}

InputEvent bufferSizeEvent(int16_t columns, int16_t rows) {
    InputEvent e = {};
    e.type = WINDOW_BUFFER_SIZE_EVENT_TYPE;
    std::memcpy(e.payload + SIZE_COLUMNS_AT, &columns, 2);
    std::memcpy(e.payload + SIZE_ROWS_AT, &rows, 2);
    return e;
}

std::string screenRow(int row) {
    std::string text;
    for (int c = 0; c < mc.columns; ++c) text += static_cast<char>(mc.cells[row][c].ch);
    return text;
}

// ---- The platform operations ----------------------------------------------

void writeCells(const Cell *cells, int16_t stride, int16_t width, int16_t height, Position at) {
    ++mc.writeCalls;
    mc.codePageDuringWrites = mc.codePage;
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            int column = at.column + c, row = at.row + r;
            if (!onScreen(column, row)) continue;
            mc.cells[row][column] = cells[r * stride + c];
            mc.written[row][column] = true;
        }
    }
}

void flushScreen() { ++mc.flushCalls; }

uint32_t outputCodePage() { return mc.codePage; }
void setOutputCodePage(uint32_t codePage) { mc.codePage = codePage; }
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

void sleepMilliseconds(uint32_t milliseconds) {
    ++mc.sleepCalls;
    mc.sleptMilliseconds += milliseconds;
}

DateTime localTime() { return mc.now; }

void printOut(const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length > 0) mc.output.append(text, static_cast<size_t>(length));
}

void upperCaseInPlace(char *text) {
    for (; *text; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}
