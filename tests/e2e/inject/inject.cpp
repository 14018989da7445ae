// inject: a test helper for the end-to-end tests (not part of conx).
//
// Starts a program as a child on this same console, writes input records
// into the console input with WriteConsoleInputA, waits for the child and
// ends with the child's full exit code. It is how keys without a terminal
// sequence (Escape, F1), typed-ahead keys, mouse clicks, the wheel, focus
// and buffer-size events reach a program, and how exit codes above 255 are
// seen on a Unix host (Wine hands a Unix shell only the low 8 bits).
//
//   inject [STEP...] -- PROGRAM [ARGUMENT...]
//
// Steps run in order. The child starts at the step "start"; without one it
// starts after the last step, so records given alone are already pending
// (typed ahead) when it starts.
//
//   start               start the child here
//   sleep=MS            pause MS milliseconds
//   flush               discard all pending input
//   mode=HEX            set the console input mode
//   key=NAME            a key press: key-down then key-up record. NAME is one
//                       character (a, A, 1, ...) or one of: up down left right
//                       home end pgup pgdn ins del esc enter tab bksp space
//                       f1 ... f12
//   keydown=NAME        the key-down record only; keyup=NAME the key-up only
//   text=CHARS          key presses for each character
//   rawkey=DOWN,VK,SCAN,CHAR,CTRL   one key record, every field given
//                       (numbers: decimal, or hex with 0x)
//   mouse=ROW,COL,BUTTONS[,FLAGS[,CTRL]]   one mouse record (row first, as
//                       conx reports it); BUTTONS may be hex or negative
//   wheel=ROW,COL,DELTA one wheel record: buttons DELTA << 16, MOUSE_WHEELED
//   focus=0|1           a focus record
//   size=COLS,ROWS      a buffer-size record
//   menu=ID             a menu record
//   drain[=MS]          wait until the input queue is empty (a program read
//                       or discarded everything), at most MS (default 5000)
//   waitcell=ROW,COL,TEXT[,MS]   wait until the screen shows TEXT at ROW, COL,
//                       at most MS (default 5000); lets a test pace its input
//                       by what the program has drawn
//   report=FILE         write the report line to FILE (else nowhere)
//   timeout=MS          end the child when it runs longer (default 15000)
//   stdin=nul           give the child NUL as its standard input
//   stdout=FILE         give the child FILE as its standard output (the
//                       console input stays its standard input)
//
// Records of consecutive steps are written in one call (a key's down and up
// records arrive together).
//
// Report, one line:
//   exit=CODE before=HEX after=HEX pending=N types=T,T,... ms=MS cpbefore=CP cpafter=CP late=N
//   attribute=HEX at=ROW,COL cursor=SIZE,VISIBLE
// CODE is the child's exit code in full ("timeout" when it was ended, "error"
// when a step or a console call failed, then with the error and why, and
// "noconsole" when inject had no console); before and after are the console input mode just
// before the child starts and just after it ends; pending counts the input
// records left after it ends, types lists their event types; ms is the
// child's run time; cpbefore and cpafter the console output code page;
// late counts drain and waitcell steps that ran out of time; attribute, at
// and cursor the text colour, the cursor's place and its size and
// visibility (1 shown) as the child left them. The helper then flushes what
// is left and ends with the child's exit code.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct NamedKey {
    const char *name;
    WORD vk;
    WORD scan;
    char ch;
    DWORD control;
};

const NamedKey NAMED_KEYS[] = {
    {"up", VK_UP, 0x48, 0, ENHANCED_KEY},
    {"down", VK_DOWN, 0x50, 0, ENHANCED_KEY},
    {"left", VK_LEFT, 0x4b, 0, ENHANCED_KEY},
    {"right", VK_RIGHT, 0x4d, 0, ENHANCED_KEY},
    {"home", VK_HOME, 0x47, 0, ENHANCED_KEY},
    {"end", VK_END, 0x4f, 0, ENHANCED_KEY},
    {"pgup", VK_PRIOR, 0x49, 0, ENHANCED_KEY},
    {"pgdn", VK_NEXT, 0x51, 0, ENHANCED_KEY},
    {"ins", VK_INSERT, 0x52, 0, ENHANCED_KEY},
    {"del", VK_DELETE, 0x53, 0, ENHANCED_KEY},
    {"esc", VK_ESCAPE, 0x01, 27, 0},
    {"enter", VK_RETURN, 0x1c, 13, 0},
    {"tab", VK_TAB, 0x0f, 9, 0},
    {"bksp", VK_BACK, 0x0e, 8, 0},
    {"space", VK_SPACE, 0x39, ' ', 0},
    {"f1", VK_F1, 0x3b, 0, 0},
    {"f2", VK_F2, 0x3c, 0, 0},
    {"f3", VK_F3, 0x3d, 0, 0},
    {"f4", VK_F4, 0x3e, 0, 0},
    {"f5", VK_F5, 0x3f, 0, 0},
    {"f6", VK_F6, 0x40, 0, 0},
    {"f7", VK_F7, 0x41, 0, 0},
    {"f8", VK_F8, 0x42, 0, 0},
    {"f9", VK_F9, 0x43, 0, 0},
    {"f10", VK_F10, 0x44, 0, 0},
    {"f11", VK_F11, 0x57, 0, 0},
    {"f12", VK_F12, 0x58, 0, 0},
};

std::string reportFile;

HANDLE input() { return GetStdHandle(STD_INPUT_HANDLE); }

// A mistake in the steps (or a failing console call): says so on standard
// error and in the report, and ends with 250. The report says "noconsole"
// when inject has no console at all: under load Wine now and then starts a
// program without its console host, and then nothing of the case ran.
[[noreturn]] void usage(const char *why) {
    DWORD error = GetLastError(), mode = 0;
    bool console = GetConsoleMode(input(), &mode) != 0;
    std::fprintf(stderr, "inject: %s (error %lu)\n", why, error);
    if (!reportFile.empty()) {
        FILE *out = std::fopen(reportFile.c_str(), "w");
        if (out) {
            std::string what(why);  // one word in the report
            for (char &c : what)
                if (c == ' ' || c == '=') c = '_';
            std::fprintf(out, "exit=%s error=%lu why=%s\n", console ? "error" : "noconsole", error,
                         what.c_str());
            std::fclose(out);
        }
    }
    ExitProcess(250);
}

long number(const std::string &text) {
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end) {
        // Values such as 0xFF880000 do not fit a long: take them unsigned.
        value = static_cast<long>(std::strtoul(text.c_str(), &end, 0));
        if (*end) usage(("not a number: " + text).c_str());
    }
    return value;
}

std::vector<long> numbers(const std::string &text) {
    std::vector<long> values;
    size_t from = 0;
    while (true) {
        size_t comma = text.find(',', from);
        values.push_back(number(text.substr(from, comma - from)));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return values;
}

// Records of consecutive steps go into the console in one call, so that a
// key's down and up records (or a click and a key) arrive together and a
// program polling the queue never sees half of them.
std::vector<INPUT_RECORD> batch;

void write(const INPUT_RECORD &record) { batch.push_back(record); }

void sendBatch() {
    // A console may take fewer records than asked: the rest go after them.
    for (size_t done = 0; done < batch.size();) {
        DWORD written = 0;
        if (!WriteConsoleInputA(input(), batch.data() + done, static_cast<DWORD>(batch.size() - done),
                                &written) || written == 0)
            usage("WriteConsoleInputA failed");
        done += written;
    }
    batch.clear();
}

void writeKey(bool down, WORD vk, WORD scan, char ch, DWORD control) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.wVirtualScanCode = scan;
    r.Event.KeyEvent.uChar.AsciiChar = ch;
    r.Event.KeyEvent.dwControlKeyState = control;
    write(r);
}

// down: 1 key-down only, 0 key-up only, 2 both.
void writeNamedKey(const std::string &name, int down) {
    WORD vk = 0, scan = 0;
    char ch = 0;
    DWORD control = 0;
    bool found = false;
    for (const NamedKey &k : NAMED_KEYS) {
        if (name == k.name) {
            vk = k.vk, scan = k.scan, ch = k.ch, control = k.control;
            found = true;
        }
    }
    if (!found) {
        if (name.size() != 1) usage(("unknown key: " + name).c_str());
        ch = name[0];
        SHORT scanned = VkKeyScanA(ch);
        vk = scanned == -1 ? 0 : LOBYTE(scanned);
        if (scanned != -1 && (HIBYTE(scanned) & 1)) control |= SHIFT_PRESSED;
        scan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    }
    if (down != 0) writeKey(true, vk, scan, ch, control);
    if (down != 1) writeKey(false, vk, scan, ch, control);
}

void writeMouse(long row, long column, long buttons, long flags, long control) {
    INPUT_RECORD r = {};
    r.EventType = MOUSE_EVENT;
    r.Event.MouseEvent.dwMousePosition.X = static_cast<SHORT>(column);
    r.Event.MouseEvent.dwMousePosition.Y = static_cast<SHORT>(row);
    r.Event.MouseEvent.dwButtonState = static_cast<DWORD>(buttons);
    r.Event.MouseEvent.dwControlKeyState = static_cast<DWORD>(control);
    r.Event.MouseEvent.dwEventFlags = static_cast<DWORD>(flags);
    write(r);
}

int late = 0;

void drain(DWORD limit) {
    ULONGLONG until = GetTickCount64() + limit;
    DWORD pending = 0;
    while (GetNumberOfConsoleInputEvents(input(), &pending) && pending) {
        if (GetTickCount64() > until) {
            ++late;
            return;
        }
        Sleep(5);
    }
}

void waitCell(long row, long column, const std::string &text, DWORD limit) {
    ULONGLONG until = GetTickCount64() + limit;
    std::vector<char> shown(text.size() + 1);
    COORD at = {static_cast<SHORT>(column), static_cast<SHORT>(row)};
    while (true) {
        DWORD read = 0;
        ReadConsoleOutputCharacterA(GetStdHandle(STD_OUTPUT_HANDLE), shown.data(),
                                    static_cast<DWORD>(text.size()), at, &read);
        if (read == text.size() && text.compare(0, read, shown.data(), read) == 0) return;
        if (GetTickCount64() > until) {
            ++late;
            return;
        }
        Sleep(10);
    }
}

std::string quoteArgument(const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') out.append(backslashes * 2 + 1, '\\');
        else out.append(backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

struct Child {
    PROCESS_INFORMATION info = {};
    DWORD modeBefore = 0;
    UINT codePageBefore = 0;
    ULONGLONG startedAt = 0;
    bool started = false;
};

void startChild(Child &child, const std::string &commandLine, bool nulInput,
                const std::string &outputFile) {
    GetConsoleMode(input(), &child.modeBefore);
    child.codePageBefore = GetConsoleOutputCP();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    HANDLE nul = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE;
    if (nulInput || !outputFile.empty()) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        if (nulInput) {
            nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
            startup.hStdInput = nul;
        }
        if (!outputFile.empty()) {
            out = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
            if (out == INVALID_HANDLE_VALUE) usage("cannot create the stdout file");
            startup.hStdOutput = out;
        }
    }
    // The program's arguments as they were given, whatever the ANSI code page.
    std::vector<wchar_t> line(commandLine.size() + 1);
    MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, line.data(), static_cast<int>(line.size()));
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child.info))
        usage(("cannot start: " + commandLine).c_str());
    child.startedAt = GetTickCount64();
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    child.started = true;
}

std::string utf8(const wchar_t *wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(length > 0 ? length - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
    return text;
}

}  // namespace

// The arguments come wide and are kept in UTF-8.
int wmain(int argc, wchar_t **wide) {
    std::vector<std::string> argv;
    for (int i = 0; i < argc; ++i) argv.push_back(utf8(wide[i]));
    int split = 1;
    while (split < argc && argv[split] != "--") ++split;
    if (split + 1 >= argc) usage("usage: inject [STEP...] -- PROGRAM [ARGUMENT...]");

    std::string commandLine;
    for (int i = split + 1; i < argc; ++i) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += quoteArgument(argv[i]);
    }

    std::string outputFile;
    DWORD timeout = 15000;
    bool nulInput = false;
    bool explicitStart = false;
    for (int i = 1; i < split; ++i) {
        std::string step = argv[i];
        if (step == "start") explicitStart = true;
        if (step.rfind("report=", 0) == 0) reportFile = step.substr(7);
        if (step.rfind("timeout=", 0) == 0) timeout = static_cast<DWORD>(number(step.substr(8)));
        if (step == "stdin=nul") nulInput = true;
        if (step.rfind("stdout=", 0) == 0) outputFile = step.substr(7);
    }

    Child child;
    for (int i = 1; i < split; ++i) {
        std::string step = argv[i];
        size_t eq = step.find('=');
        std::string name = step.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : step.substr(eq + 1);
        bool recordStep = name == "key" || name == "keydown" || name == "keyup" ||
                          name == "text" || name == "rawkey" || name == "mouse" ||
                          name == "wheel" || name == "focus" || name == "size" || name == "menu";
        if (!recordStep) sendBatch();
        if (step == "start") {
            startChild(child, commandLine, nulInput, outputFile);
        } else if (step == "flush") {
            FlushConsoleInputBuffer(input());
        } else if (name == "drain") {
            drain(value.empty() ? 5000 : static_cast<DWORD>(number(value)));
        } else if (name == "waitcell") {
            size_t c1 = value.find(','), c2 = value.find(',', c1 + 1);
            if (c1 == std::string::npos || c2 == std::string::npos)
                usage("waitcell=ROW,COL,TEXT[,MS]");
            std::string text = value.substr(c2 + 1);
            DWORD limit = 5000;
            size_t c3 = text.rfind(',');
            if (c3 != std::string::npos) {
                limit = static_cast<DWORD>(number(text.substr(c3 + 1)));
                text = text.substr(0, c3);
            }
            waitCell(number(value.substr(0, c1)), number(value.substr(c1 + 1, c2 - c1 - 1)),
                     text, limit);
        } else if (name == "sleep") {
            Sleep(static_cast<DWORD>(number(value)));
        } else if (name == "mode") {
            SetConsoleMode(input(), static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 16)));
        } else if (name == "key") {
            writeNamedKey(value, 2);
        } else if (name == "keydown") {
            writeNamedKey(value, 1);
        } else if (name == "keyup") {
            writeNamedKey(value, 0);
        } else if (name == "text") {
            for (char c : value) writeNamedKey(std::string(1, c), 2);
        } else if (name == "rawkey") {
            std::vector<long> v = numbers(value);
            if (v.size() != 5) usage("rawkey=DOWN,VK,SCAN,CHAR,CTRL");
            writeKey(v[0] != 0, static_cast<WORD>(v[1]), static_cast<WORD>(v[2]),
                     static_cast<char>(v[3]), static_cast<DWORD>(v[4]));
        } else if (name == "mouse") {
            std::vector<long> v = numbers(value);
            if (v.size() < 3 || v.size() > 5) usage("mouse=ROW,COL,BUTTONS[,FLAGS[,CTRL]]");
            v.resize(5, 0);
            writeMouse(v[0], v[1], v[2], v[3], v[4]);
        } else if (name == "wheel") {
            std::vector<long> v = numbers(value);
            if (v.size() != 3) usage("wheel=ROW,COL,DELTA");
            writeMouse(v[0], v[1], static_cast<long>(static_cast<DWORD>(v[2]) << 16),
                       MOUSE_WHEELED, 0);
        } else if (name == "focus") {
            INPUT_RECORD r = {};
            r.EventType = FOCUS_EVENT;
            r.Event.FocusEvent.bSetFocus = number(value) != 0;
            write(r);
        } else if (name == "size") {
            std::vector<long> v = numbers(value);
            if (v.size() != 2) usage("size=COLS,ROWS");
            INPUT_RECORD r = {};
            r.EventType = WINDOW_BUFFER_SIZE_EVENT;
            r.Event.WindowBufferSizeEvent.dwSize.X = static_cast<SHORT>(v[0]);
            r.Event.WindowBufferSizeEvent.dwSize.Y = static_cast<SHORT>(v[1]);
            write(r);
        } else if (name == "menu") {
            INPUT_RECORD r = {};
            r.EventType = MENU_EVENT;
            r.Event.MenuEvent.dwCommandId = static_cast<UINT>(number(value));
            write(r);
        } else if (name == "report" || name == "timeout" || name == "stdout" ||
                   step == "stdin=nul") {
            // taken above
        } else {
            usage(("unknown step: " + step).c_str());
        }
    }
    sendBatch();
    if (!explicitStart) startChild(child, commandLine, nulInput, outputFile);

    std::string code;
    DWORD exitCode = 0;
    ULONGLONG elapsed = 0;
    if (WaitForSingleObject(child.info.hProcess, timeout) == WAIT_OBJECT_0) {
        elapsed = GetTickCount64() - child.startedAt;
        GetExitCodeProcess(child.info.hProcess, &exitCode);
        code = std::to_string(exitCode);
    } else {
        TerminateProcess(child.info.hProcess, 259);
        WaitForSingleObject(child.info.hProcess, 2000);
        code = "timeout";
        exitCode = 259;
    }

    DWORD modeAfter = 0, pending = 0;
    GetConsoleMode(input(), &modeAfter);
    GetNumberOfConsoleInputEvents(input(), &pending);
    std::string types;
    if (pending) {
        std::vector<INPUT_RECORD> left(pending);
        DWORD read = 0;
        PeekConsoleInputA(input(), left.data(), pending, &read);
        for (DWORD i = 0; i < read; ++i) {
            if (!types.empty()) types += ',';
            types += std::to_string(left[i].EventType);
        }
        FlushConsoleInputBuffer(input());
    }
    // What the child left of the screen's state: text colour, cursor place and shape.
    CONSOLE_SCREEN_BUFFER_INFO shown = {};
    CONSOLE_CURSOR_INFO cursor = {};
    GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &shown);
    GetConsoleCursorInfo(GetStdHandle(STD_OUTPUT_HANDLE), &cursor);
    char line[512];
    std::snprintf(line, sizeof line,
                  "exit=%s before=0x%lx after=0x%lx pending=%lu types=%s ms=%llu cpbefore=%u "
                  "cpafter=%u late=%d attribute=0x%x at=%d,%d cursor=%lu,%d\n",
                  code.c_str(), static_cast<unsigned long>(child.modeBefore),
                  static_cast<unsigned long>(modeAfter), static_cast<unsigned long>(pending),
                  types.c_str(), elapsed, child.codePageBefore, GetConsoleOutputCP(), late,
                  shown.wAttributes, shown.dwCursorPosition.Y, shown.dwCursorPosition.X,
                  static_cast<unsigned long>(cursor.dwSize), cursor.bVisible ? 1 : 0);
    if (!reportFile.empty()) {
        FILE *out = std::fopen(reportFile.c_str(), "w");
        if (out) {
            std::fputs(line, out);
            std::fclose(out);
        }
    }
    ExitProcess(exitCode);
}
