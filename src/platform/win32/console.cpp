// The Windows console: kernel32's console functions and the system C
// runtime (msvcrt.dll), with the program's own entry point and no C
// runtime start-up code. Handles are fetched at each use, never closed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdarg>

#include "dispatch/program.h"
#include "platform/codepage1252.h"
#include "platform/console.h"
#include "platform/utf8.h"
#include "platform/win32/cellbatch.h"
#include "platform/win32/cellwidth.h"

// msvcrt's own functions, declared here rather than through the C headers:
// in C++ those route printf to a MinGW replacement that msvcrt lacks.
// dllimport calls through the import table itself, with no jump stub.
#define MSVCRT_IMPORT __declspec(dllimport)
extern "C" {
struct StartupInfo {
    int newMode;  // new-handler mode for malloc failures
};
MSVCRT_IMPORT int __cdecl __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env,
                                         int expandWildcards, StartupInfo *startup);
MSVCRT_IMPORT int __cdecl vprintf(const char *format, va_list args);
MSVCRT_IMPORT int __cdecl _flushall();
// msvcrt's streams; [1] is standard output. Only its error flag is read.
struct Stream {
    char *next;
    int left;
    char *buffer;
    int flags;
    int file;
    int charBuffer;
    int bufferSize;
    char *temporaryName;
};
MSVCRT_IMPORT extern Stream _iob[];
MSVCRT_IMPORT int __cdecl _kbhit();
MSVCRT_IMPORT int __cdecl _getch();
}

static_assert(sizeof(ConsoleCell) == sizeof(CHAR_INFO), "a ConsoleCell is a CHAR_INFO");
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide characters are UTF-16 units");
static_assert(sizeof(DateTime) == sizeof(SYSTEMTIME), "a DateTime is a SYSTEMTIME");
static_assert(sizeof(InputEvent::payload) == sizeof(INPUT_RECORD::Event), "event payload");

namespace {

const int STANDARD_OUTPUT = 1;       // _iob's entry for it
const int STREAM_ERROR = 0x0020;     // _IOERR: a write failed
const int32_t REPORT_LOST = 1;       // the exit code when a report was lost
const WCHAR ZERO_WIDTH_SPACE = 0x200B;
const uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

// The arguments in UTF-8. A command line holds at most 32,767 UTF-16
// units, so at most 16,384 arguments besides the program's name, of at most
// three bytes a unit and a NUL each.
const int MAX_ARGUMENTS = 16385;
char *utf8Vector[MAX_ARGUMENTS + 1];
char utf8Bytes[3 * 32768 + MAX_ARGUMENTS];

CONSOLE_SCREEN_BUFFER_INFO screenBuffer;  // its size, asked at the first wide character

HANDLE screen() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE input() { return GetStdHandle(STD_INPUT_HANDLE); }

void toEvent(const INPUT_RECORD &record, InputEvent *event) {
    event->type = record.EventType;
    __builtin_memcpy(event->payload, &record.Event, sizeof event->payload);
}

// Fills utf8Vector with the wide arguments in UTF-8, once at start, so
// that PRINT reads the text as it was written whatever the ANSI code page;
// returns how many it holds.
int utf8Arguments(int count, wchar_t **wide) {
    char *out = utf8Bytes;
    int i = 0;
    for (; i < count; ++i) {
        int room = static_cast<int>(utf8Bytes + sizeof utf8Bytes - out);
        int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, out, room, nullptr, nullptr);
        if (length == 0) break;  // no room left
        utf8Vector[i] = out;
        out += length;
    }
    return i;
}

int screenColumns() {
    if (screenBuffer.dwSize.X == 0) GetConsoleScreenBufferInfo(screen(), &screenBuffer);
    return screenBuffer.dwSize.X;
}

}  // namespace

// ---- Entry ------------------------------------------------------------------

// The entry the linker names in the header; `used` keeps whole-program
// optimisation from dropping it.
extern "C" __attribute__((force_align_arg_pointer, used)) void mainCRTStartup() {
    int count = 0;
    wchar_t **wide = nullptr;
    wchar_t **environment = nullptr;
    StartupInfo startup = {0};
    int status = __wgetmainargs(&count, &wide, &environment, 0, &startup);
    count = utf8Arguments(status == 0 ? count : 0, wide);  // nothing to turn when it failed
    int32_t code = runCommandLine(count, utf8Vector, status);
    _flushall();  // a pipe to a batch file's for /f is buffered
    if (_iob[STANDARD_OUTPUT].flags & STREAM_ERROR) code = REPORT_LOST;  // a report was lost
    ExitProcess(static_cast<UINT>(code));
}

// ---- Screen -------------------------------------------------------------------

// PRINT's cells are batched into rectangles (cellbatch.cpp): one call per
// rectangle instead of one per cell.
void writeCellBlock(const CellBlock &block) {
    COORD size = {block.stride, block.height};
    COORD origin = {0, 0};
    SMALL_RECT target = {block.at.column, block.at.row,
                         static_cast<SHORT>(block.at.column + block.width - 1),
                         static_cast<SHORT>(block.at.row + block.height - 1)};
    WriteConsoleOutputW(screen(), reinterpret_cast<const CHAR_INFO *>(block.cells), size, origin,
                        &target);
}

namespace console {

// Cells are written in UTF-16, whatever the console's code page: a 1252
// byte as Windows converts it, a one-cell character.
void writeCell(Position at, Cell cell) {
    uint32_t c = cell.ch;
    unsigned high = c - WINDOWS_1252_HIGH_FIRST;  // the table's entry, if any
    if (high < sizeof Windows1252High / sizeof *Windows1252High) c = Windows1252High[high];
    writeCharacter(at, Character{c, 1}, cell.attribute);
}

void flushScreen() { sendBatch(); }

// The text is the UTF-8 that start-up made: every sequence is whole. A
// cell holds one UTF-16 unit, so a character beyond U+FFFF shows as U+FFFD.
int literalCharacter(const char *text, Character *character) {
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(text);
    int length = utf8Length(bytes[0]);
    if (length > 0) {
        uint32_t c = utf8CodePoint(bytes, length);
        if (c > 0xFFFF) c = REPLACEMENT_CHARACTER;
        *character = Character{c, consoleCellWidth(c)};
    }
    return length;
}

// A wide character is a leading half and a trailing half: the console
// draws the leading one over both cells and ignores the trailing one's
// character (the batch never begins a block's row with it, where the
// console would take it). Wine's console in a terminal writes every cell's
// character, so the trailing half holds a zero-width space: nothing there.
// One in the last column is not drawn: the console would blank that cell
// and draw the character at the start of the next row. The two bits that
// mark the halves are no part of PRINT's attributes (as the console takes them
// off cells written in a code page). Kept out of line: inlined into
// PRINT's text loop, it costs the exe 16 bytes more.
__attribute__((noinline)) void writeCharacter(Position at, Character character, uint16_t attribute) {
    attribute &= ~(LEADING_HALF | TRAILING_HALF);
    ConsoleCell cell = {static_cast<uint16_t>(character.codePoint), attribute};
    if (character.width == 2) {
        if (at.column + 2 > screenColumns()) return;  // drawn whole or not at all
        cell.attribute |= LEADING_HALF;
        batchCell(at, cell);
        cell = ConsoleCell{ZERO_WIDTH_SPACE, static_cast<uint16_t>(attribute | TRAILING_HALF)};
        ++at.column;
    }
    batchCell(at, cell);
}

void setTextAttribute(uint16_t attribute) { SetConsoleTextAttribute(screen(), attribute); }

void setCursorPosition(Position at) {
    COORD where = {at.column, at.row};
    SetConsoleCursorPosition(screen(), where);
}

CursorShape cursorShape() {
    CONSOLE_CURSOR_INFO info = {25, TRUE};
    GetConsoleCursorInfo(screen(), &info);
    return CursorShape{info.dwSize, info.bVisible != FALSE ? CURSOR_SHOWN : CURSOR_HIDDEN};
}

void setCursorShape(CursorShape shape) {
    CONSOLE_CURSOR_INFO info = {shape.size, shape.visible};
    SetConsoleCursorInfo(screen(), &info);
}

// kernel32 exports SetConsoleFont without documenting it; a Windows that
// lacks it simply keeps its font.
void setFont(uint32_t index) {
    typedef BOOL(WINAPI * SetFont)(HANDLE, DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetConsoleFont");
    if (found) reinterpret_cast<SetFont>(reinterpret_cast<void *>(found))(screen(), index);
}

// ---- Input events ---------------------------------------------------------------

bool inputMode(uint32_t *mode) {
    DWORD value;
    if (!GetConsoleMode(input(), &value)) return false;
    *mode = value;
    return true;
}

void setInputMode(uint32_t mode) { SetConsoleMode(input(), mode); }

bool readInputEvent(InputEvent *event) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(input(), &record, 1, &read) || read != 1) return false;
    toEvent(record, event);
    return true;
}

bool peekInputEvent(InputEvent *event) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!PeekConsoleInputA(input(), &record, 1, &read) || read != 1) return false;
    toEvent(record, event);
    return true;
}

bool countInputEvents(uint32_t *count) {
    DWORD pending;
    if (!GetNumberOfConsoleInputEvents(input(), &pending)) return false;
    *count = pending;
    return true;
}

void flushInputEvents() { FlushConsoleInputBuffer(input()); }

// The console signals the input handle while input is pending. Should the
// wait fail, a 1 ms sleep keeps INPUTHIT's loop from spinning.
void awaitInput() {
    if (WaitForSingleObject(input(), INFINITE) == WAIT_FAILED) Sleep(1);
}

// ---- Keystrokes, clock, process ------------------------------------------------------

bool keyWaiting() { return _kbhit() != 0; }
int readKeyCode() { return _getch(); }
void noteKeyCode(int32_t) {}  // a Windows exit code carries every key code

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

DateTime localTime() {
    DateTime now;
    GetLocalTime(reinterpret_cast<SYSTEMTIME *>(&now));
    return now;
}

void printOut(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

void upperCaseInPlace(char *text) { _strupr(text); }

}  // namespace console
