// The Windows console: kernel32's console functions and the system C
// runtime (msvcrt.dll), with the program's own entry point and no C
// runtime start-up code. Handles are fetched at each use, never closed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdarg>

#include "dispatch/program.h"
#include "platform/win32/cellbatch.h"
#include "platform/console.h"

// msvcrt's own functions, declared here rather than through the C headers:
// in C++ those route printf to a MinGW replacement that msvcrt lacks.
// dllimport calls through the import table itself, with no jump stub.
#define MSVCRT_IMPORT __declspec(dllimport)
extern "C" {
struct StartupInfo {
    int newMode;  // new-handler mode for malloc failures
};
MSVCRT_IMPORT int __cdecl __getmainargs(int *argc, char ***argv, char ***env,
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

static_assert(sizeof(Cell) == sizeof(CHAR_INFO), "a Cell is a CHAR_INFO");
static_assert(sizeof(DateTime) == sizeof(SYSTEMTIME), "a DateTime is a SYSTEMTIME");
static_assert(sizeof(InputEvent::payload) == sizeof(INPUT_RECORD::Event), "event payload");

namespace {

const int STANDARD_OUTPUT = 1;       // _iob's entry for it
const int STREAM_ERROR = 0x0020;     // _IOERR: a write failed
const int32_t REPORT_LOST = 1;       // the exit code when a report was lost

HANDLE screen() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE input() { return GetStdHandle(STD_INPUT_HANDLE); }

void toEvent(const INPUT_RECORD &record, InputEvent *event) {
    event->type = record.EventType;
    __builtin_memcpy(event->payload, &record.Event, sizeof event->payload);
}

}  // namespace

// ---- Entry ------------------------------------------------------------------

// The entry the linker names in the header; `used` keeps whole-program
// optimisation from dropping it.
extern "C" __attribute__((force_align_arg_pointer, used)) void mainCRTStartup() {
    int count = 0;
    char **vector = nullptr;
    char **environment = nullptr;
    StartupInfo startup = {0};
    int status = __getmainargs(&count, &vector, &environment, 0, &startup);
    int32_t code = runCommandLine(count, vector, status);
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
    WriteConsoleOutputA(screen(), reinterpret_cast<const CHAR_INFO *>(block.cells), size, origin,
                        &target);
}

namespace console {

void writeCell(Position at, Cell cell) { batchCell(at, cell); }
void flushScreen() { sendBatch(); }

// PRINT text is code page 1252 bytes here, cell by cell, so no character
// is ever read or drawn on its own: the linker drops that path.
int literalCharacter(const char *, Character *) { return 0; }
void writeCharacter(Position, Character, uint16_t) {}

uint32_t outputCodePage() { return GetConsoleOutputCP(); }
void setOutputCodePage(uint32_t codePage) { SetConsoleOutputCP(codePage); }
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

// INPUTHIT polls here, as documented: a 1 ms sleep between counts.
void awaitInput() { Sleep(1); }

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
