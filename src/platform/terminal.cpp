// A VT/xterm terminal driven through termios: the Unix console. The screen
// is standard output when it is a terminal (otherwise screen operations do
// nothing); input is standard input when it is a terminal (otherwise event
// operations fail). Sequences sent, besides the cell stream of vtoutput.cpp:
//   ESC 7 / ESC 8             DECSC / DECRC  save / restore cursor, SGR and
//                                            pending wrap around each frame
//   ESC [ ? 25 h / l          DECTCEM        show / hide the cursor
//   ESC [ n SP q              DECSCUSR       1 blinking block, 3 blinking underline
//   ESC ] 50 ; # n ESC \      xterm          select entry n of the font menu
//   ESC [ ? 1000 h / l        mouse          press and release reports
//   ESC [ ? 1002 h / l        mouse          ... and motion while a button is down
//   ESC [ ? 1006 h / l        mouse          reports in the SGR form
//   ESC [ ? 1004 h / l        focus          ESC [ I / ESC [ O on focus change
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "frame/program.h"
#include "platform/console.h"
#include "platform/runtime.h"
#include "platform/vtinput.h"
#include "platform/vtoutput.h"

namespace {

const int SCREEN = STDOUT_FILENO;
const int INPUT = STDIN_FILENO;
const int FALLBACK_COLUMNS = 80, FALLBACK_ROWS = 24;
const int ESCAPE_TIMEOUT_MS = 80;  // a lone ESC is the Escape key after this
const int DRAIN_QUIET_MS = 50;     // reports still in flight when mouse goes off
const uint32_t UTF8_CODE_PAGE = 65001;  // what a terminal speaks
const uint32_t SIZE_NOT_KNOWN = 0;      // a terminal cannot say its cursor size
const uint32_t LARGEST_UNDERLINE = 50;  // sizes up to this draw an underline
const int QUEUE_LENGTH = 64;
const int PENDING_LENGTH = 64;

const char SAVE_CURSOR[] = "\x1b" "7";
const char RESTORE_CURSOR[] = "\x1b" "8";
const char SHOW_CURSOR[] = "\x1b[?25h";
const char HIDE_CURSOR[] = "\x1b[?25l";
const char BLINKING_BLOCK[] = "\x1b[1 q";
const char BLINKING_UNDERLINE[] = "\x1b[3 q";
const char MOUSE_ON[] = "\x1b[?1000h\x1b[?1002h\x1b[?1006h\x1b[?1004h";
const char MOUSE_OFF[] = "\x1b[?1004l\x1b[?1006l\x1b[?1002l\x1b[?1000l";

// Console input mode bits that a terminal has an equivalent for.
const uint32_t LINE_INPUT_FLAG = 0x0002;  // ENABLE_LINE_INPUT: ICANON
const uint32_t ECHO_INPUT_FLAG = 0x0004;  // ENABLE_ECHO_INPUT: ECHO

// ---- State ------------------------------------------------------------------------
// PRINT's cells, encoded as they come (in text order, which is row order)
// and written with one write() at flushScreen.
struct CellOutput {
    char bytes[65536];    // one PRINT's bytes
    ScreenStream stream;  // what they have drawn so far
    bool open;            // cells have begun (DECSC sent)
};

struct QueuedInput {
    InputEvent event;
    bool isKey;
    int first, second;  // the key's _getch codes
};

struct Input {
    QueuedInput queue[QUEUE_LENGTH];  // decoded input not yet taken
    int queued;                       // entries in queue
    uint8_t pending[PENDING_LENGTH];  // bytes read but not decoded yet
    int pendingLength;                // bytes in pending
    int heldSecondCode;               // _getch's second code, for the next call
    MouseButtons mouse;               // buttons held, from report to report
    bool ended;                       // read() saw the end of input
    uint8_t log[256];                 // bytes read while looking for a key
    int logLength;                    // bytes in log; -1: not logging
};

// The key code KBD or _KBD ends with.
struct KeyResult {
    int32_t code;
    bool noted;
};

struct Tty {
    termios found;     // the terminal as this run found it
    termios resting;   // what to leave it in (INPUTHIT changes this)
    bool known;        // the two above are filled in
    bool raw;          // raw mode is applied right now
    bool signalsKept;  // raw mode lets Ctrl+C and Ctrl+\ signal (MOUSE)
    bool mouseWasOn;   // reporting was on when the run began
    bool mouseOn;      // reporting is on now
};

CellOutput cellOutput;                // the screen side
uint32_t codePage = UTF8_CODE_PAGE;   // as PRINT sets and restores it
Input input = {{}, 0, {}, 0, NO_SECOND_CODE, {0}, false, {}, -1};  // the keyboard side
Tty tty;                              // the tty's settings and modes
KeyResult keyResult;                  // for standard output at the end
volatile sig_atomic_t resized;        // SIGWINCH came

bool isTerminal(int fd) { return isatty(fd) == 1; }

// KBD and _KBD print the full key code when standard output is not a
// terminal (key=$(conx KBD) gives 327 for Up).
void printNotedKeyCode() {
    if (keyResult.noted && !isTerminal(SCREEN)) std::printf("%d", keyResult.code);
}

void writeAll(int fd, const char *bytes, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
}

void writeScreen(const char *text) {
    if (isTerminal(SCREEN)) writeAll(SCREEN, text, std::strlen(text));
}

// Mouse and focus reporting belong to the terminal standard input is.
void writeInputTerminal(const char *text) {
    size_t length = std::strlen(text);
    if (write(INPUT, text, length) == static_cast<ssize_t>(length)) return;
    const char *name = ttyname(INPUT);  // standard input opened read-only
    int fd = name ? open(name, O_WRONLY | O_NOCTTY) : -1;
    if (fd < 0) return;
    writeAll(fd, text, length);
    close(fd);
}

// The screen's size; the input terminal's when the screen is redirected
// (INPUTHIT's report of a resize, read with $(...)).
void screenSize(int *columns, int *rows) {
    winsize size = {};
    bool known = false;
    for (int fd : {SCREEN, INPUT})
        known = known || (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0);
    *columns = known ? size.ws_col : FALLBACK_COLUMNS;
    *rows = known ? size.ws_row : FALLBACK_ROWS;
}

// ---- Terminal settings ---------------------------------------------------------

// The state INPUTHIT leaves: keys neither echoed nor held for a whole line,
// so they and the mouse reports wait in the tty for the next call.
bool isSetUp(const termios &t) { return !(t.c_lflag & ECHO) && !(t.c_lflag & ICANON); }

// Raw mode for reading: bytes one by one as typed (ICANON off), not echoed,
// Ctrl+C, Ctrl+S/Q, Ctrl+V as input (ISIG, IXON, IEXTEN off), CR kept as CR
// (ICRNL off), 8-bit clean. Output processing (OPOST) stays.
termios rawSettings() {
    termios t = tty.resting;
    t.c_iflag &= ~(ICRNL | IXON | BRKINT | INPCK | ISTRIP | INLCR | IGNCR);
    t.c_lflag &= ~(ICANON | ECHO | IEXTEN);
    if (!tty.signalsKept) t.c_lflag &= ~ISIG;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return t;
}

// TCSANOW, never TCSAFLUSH: keys typed before the run must survive.
void applySettings() {
    termios t = tty.raw ? rawSettings() : tty.resting;
    tcsetattr(INPUT, TCSANOW, &t);
}

// A signal ends the run in the middle: give back what it found.
void onEndingSignal(int signalNumber) {
    if (tty.mouseOn && !tty.mouseWasOn) {
        ssize_t ignored = write(INPUT, MOUSE_OFF, sizeof MOUSE_OFF - 1);
        (void)ignored;
    }
    tcsetattr(INPUT, TCSANOW, &tty.found);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void onResize(int) { resized = 1; }

void installSignalHandlers() {
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onEndingSignal;
    const int Ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (int s : Ending) {
        struct sigaction was = {};
        sigaction(s, nullptr, &was);
        if (was.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);  // nohup stays nohup
    }
    // No SA_RESTART: a blocking wait returns at once to report the new size.
    action.sa_handler = onResize;
    sigaction(SIGWINCH, &action, nullptr);
}

bool loadSettings() {
    if (tty.known) return true;
    if (!isTerminal(INPUT) || tcgetattr(INPUT, &tty.found) != 0) return false;
    tty.resting = tty.found;
    tty.mouseWasOn = tty.mouseOn = isSetUp(tty.found);
    tty.known = true;
    installSignalHandlers();
    return true;
}

void enterRawMode() {
    if (!loadSettings() || tty.raw) return;
    tty.raw = true;
    applySettings();
}

// ---- Input queue ----------------------------------------------------------------

void dequeue(int count) {
    size_t kept = static_cast<size_t>(input.queued - count);
    std::memmove(&input.queue[0], &input.queue[count], sizeof input.queue[0] * kept);
    input.queued -= count;
}

void enqueue(const InputEvent &event, bool isKey, int first, int second) {
    if (input.queued == QUEUE_LENGTH) dequeue(1);  // a flood of reports: the oldest goes
    input.queue[input.queued++] = QueuedInput{event, isKey, first, second};
}

int firstKey() {
    for (int i = 0; i < input.queued; ++i)
        if (input.queue[i].isKey) return i;
    return -1;
}

void enqueueInput(const TerminalInput &in) {
    InputEvent event;
    if (in.kind == KEY_INPUT) enqueue(keyEventRecord(in), true, in.first, in.second);
    else if (in.kind == FOCUS_INPUT) enqueue(focusEvent(in.focused), false, 0, 0);
    else if (mouseEventRecord(in, &input.mouse, &event)) enqueue(event, false, 0, 0);
}

// Decodes what the pending bytes hold; `quiet`: nothing more is coming.
void decodePending(bool quiet) {
    while (input.pendingLength > 0) {
        TerminalInput in;
        int used = 0;
        bool full = input.pendingLength == PENDING_LENGTH;
        DecodeStatus status =
            decodeTerminalInput(input.pending, input.pendingLength, quiet || full, &in, &used);
        if (status == DECODE_NEED_MORE) return;
        if (status == DECODE_FOUND) enqueueInput(in);
        if (used <= 0) used = 1;
        input.pendingLength -= used;
        std::memmove(input.pending, input.pending + used, static_cast<size_t>(input.pendingLength));
    }
}

void noteResize() {
    if (!resized) return;
    resized = 0;
    int columns, rows;
    screenSize(&columns, &rows);
    enqueue(bufferSizeEvent(BufferSize{static_cast<int16_t>(columns), static_cast<int16_t>(rows)}),
            false, 0, 0);
}

// Reads one byte if one comes within timeoutMs (-1: wait); false if none.
bool readByte(int timeoutMs) {
    pollfd p = {INPUT, POLLIN, 0};
    int ready = poll(&p, 1, timeoutMs);
    if (ready <= 0) return false;
    uint8_t byte;
    ssize_t n = read(INPUT, &byte, 1);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) input.ended = true;
    if (n != 1) return false;
    if (input.logLength >= 0 && input.logLength < static_cast<int>(sizeof input.log))
        input.log[input.logLength++] = byte;
    input.pending[input.pendingLength++] = byte;
    decodePending(false);
    return true;
}

// Reads byte by byte, so nothing beyond what is asked for is taken, until
// the queue holds a key (wantKey) or any event. With `wait` it blocks for
// it; without, it stops when no byte is there. True when it is there.
bool fillQueue(bool wantKey, bool wait) {
    enterRawMode();
    for (;;) {
        noteResize();
        if (wantKey ? firstKey() >= 0 : input.queued > 0) return true;
        if (input.ended) return false;
        if (input.pendingLength > 0) {
            // A sequence has begun: its rest comes at once, or never.
            if (!readByte(ESCAPE_TIMEOUT_MS) && !resized) decodePending(true);
        } else if (!readByte(wait ? -1 : 0) && !wait && !resized) {
            return false;
        }
    }
}

// After mouse reporting goes off, the release of the click just reported
// (or a last motion) may still be on its way: take such reports, and
// stop at the first byte that cannot begin one, a key typed after.
void drainReports() {
    int before = input.queued;
    while (readByte(DRAIN_QUIET_MS)) {
        bool keyCame = false;
        for (int i = before; i < input.queued; ++i) keyCame = keyCame || input.queue[i].isKey;
        if (keyCame) break;
        before = input.queued;
    }
    decodePending(true);
}

}  // namespace

// ---- Entry ---------------------------------------------------------------------------

// A Unix exit status keeps 8 bits, too few for key codes 256-418: the
// status is the code's low 8 bits (see noteKeyCode for the full code).
int main(int argc, char **argv) {
    int32_t code = runCommandLine(argc, argv, 0);
    if (tty.known) {
        tty.raw = false;
        applySettings();
    }
    printNotedKeyCode();
    std::fflush(stdout);
    return code & 0xFF;
}

// ---- Screen -------------------------------------------------------------------------

namespace {

// Starts PRINT's cell bytes: the screen's size, whether the tty's output
// processing turns LF into CR LF, and DECSC.
void startCells() {
    int columns, rows;
    screenSize(&columns, &rows);
    CellOutput &out = cellOutput;
    startStream(&out.stream, out.bytes, sizeof out.bytes, columns, rows);
    termios output = {};
    out.stream.lineFeedReturns = tcgetattr(SCREEN, &output) == 0 && (output.c_oflag & OPOST) &&
                                 (output.c_oflag & ONLCR);
    appendText(&out.stream, SAVE_CURSOR);
    out.open = true;
}

}  // namespace

namespace console {

void writeCell(Position at, Cell cell) {
    if (!isTerminal(SCREEN)) return;
    CellOutput &out = cellOutput;
    if (!out.open) startCells();
    if (at.column < 0 || at.row < 0 || at.column >= out.stream.columns || at.row >= out.stream.rows)
        return;
    if (out.stream.length + MAX_CELL_BYTES > out.stream.capacity) {
        writeAll(SCREEN, out.stream.bytes, static_cast<size_t>(out.stream.length));
        out.stream.length = 0;  // the terminal keeps the cursor and SGR
    }
    appendCell(&out.stream, at.column, at.row, cell.ch, cell.attribute);
}

void flushScreen() {
    CellOutput &out = cellOutput;
    if (!out.open) return;
    appendText(&out.stream, RESTORE_CURSOR);
    writeAll(SCREEN, out.stream.bytes, static_cast<size_t>(out.stream.length));
    out.open = false;
}

// A terminal speaks UTF-8; cell bytes are always shown as their 1252
// characters, the code page PRINT selects for them.
uint32_t outputCodePage() { return codePage; }
void setOutputCodePage(uint32_t page) { codePage = page; }

// Left in force after the run, as on Windows (the shell's later output).
void setTextAttribute(uint16_t attribute) {
    char bytes[64];
    ScreenStream s;
    startStream(&s, bytes, sizeof bytes - 1, 0, 0);
    appendAttribute(&s, attribute);
    bytes[s.length] = '\0';
    writeScreen(bytes);
}

void setCursorPosition(Position at) {
    if (!isTerminal(SCREEN)) return;
    int columns, rows;
    screenSize(&columns, &rows);
    if (at.column < 0 || at.row < 0 || at.column >= columns || at.row >= rows) return;
    char bytes[32];
    ScreenStream s;
    startStream(&s, bytes, sizeof bytes - 1, columns, rows);
    appendCursorPosition(&s, at.column, at.row);
    bytes[s.length] = '\0';
    writeScreen(bytes);
}

// Neither the size nor the visibility can be read back from every terminal
// (tmux answers no query), so the record says: shown, size not known. A
// size of 1-100 written back was asked for and becomes a shape; the
// visibility is always sent. So 'CURSOR 1' shows the cursor and keeps its
// shape, and a setting that changes nothing on Windows shows it here.
CursorShape cursorShape() { return CursorShape{SIZE_NOT_KNOWN, true}; }

void setCursorShape(CursorShape shape) {
    if (shape.size >= 1 && shape.size <= 100)
        writeScreen(shape.size <= LARGEST_UNDERLINE ? BLINKING_UNDERLINE : BLINKING_BLOCK);
    writeScreen(shape.visible ? SHOW_CURSOR : HIDE_CURSOR);
}

// xterm's font menu: entry 0 the default, 1-6 the menu's sizes; other
// terminals ignore the request.
void setFont(uint32_t index) {
    char bytes[32];
    std::snprintf(bytes, sizeof bytes, "\x1b]50;#%u\x1b\\", index);
    writeScreen(bytes);
}

// ---- Input events ---------------------------------------------------------------------

// The input mode as the terminal shows it. Mouse input is on when the
// tty is set up as INPUTHIT leaves it (no echo, no line editing): a
// fresh run after INPUTHIT thus sees the mode INPUTHIT set.
bool inputMode(uint32_t *mode) {
    if (!loadSettings()) return false;
    const termios &t = tty.resting;
    uint32_t m = ENABLE_EXTENDED_FLAGS_FLAG | ENABLE_QUICK_EDIT_MODE_FLAG;
    if (t.c_lflag & ISIG) m |= ENABLE_PROCESSED_INPUT_FLAG;
    if (t.c_lflag & ICANON) m |= LINE_INPUT_FLAG;
    if (t.c_lflag & ECHO) m |= ECHO_INPUT_FLAG;
    if (tty.mouseOn) m |= ENABLE_MOUSE_INPUT_FLAG;
    *mode = m;
    return true;
}

// Only the mouse bit has a lasting effect: on, reporting is switched on
// and the tty set up to queue keys unechoed; off, both are undone. Ctrl+C
// is input while conx reads and a signal between runs, whatever the bit.
void setInputMode(uint32_t mode) {
    if (!loadSettings()) return;
    bool wanted = (mode & ENABLE_MOUSE_INPUT_FLAG) != 0;
    if (wanted) {
        tty.resting.c_lflag &= ~(ECHO | ICANON);
        writeInputTerminal(MOUSE_ON);
    } else if (tty.mouseOn) {
        writeInputTerminal(MOUSE_OFF);
        enterRawMode();
        drainReports();
        // Back to echo and line editing: as found, or on if the run found
        // the tty already set up by an earlier INPUTHIT.
        tcflag_t given = isSetUp(tty.found) ? (ECHO | ICANON) : tty.found.c_lflag;
        tty.resting.c_lflag |= given & (ECHO | ICANON);
    }
    tty.mouseOn = wanted;
    applySettings();
}

// The one wait with no end but a click (MOUSE): a terminal that sends no
// mouse reports would hold it forever, so Ctrl+C stays a signal here.
bool readInputEvent(InputEvent *event) {
    if (!isTerminal(INPUT)) return false;
    tty.signalsKept = true;
    if (tty.raw) applySettings();
    bool got = fillQueue(false, true);
    tty.signalsKept = false;
    applySettings();
    if (!got) return false;
    *event = input.queue[0].event;
    dequeue(1);
    return true;
}

bool peekInputEvent(InputEvent *event) {
    if (!isTerminal(INPUT) || !fillQueue(false, false)) return false;
    *event = input.queue[0].event;
    return true;
}

// Input is decoded only as far as needed: the count is of the events
// decoded so far, and is nonzero exactly when input is pending.
bool countInputEvents(uint32_t *count) {
    if (!isTerminal(INPUT)) return false;
    fillQueue(false, false);
    *count = static_cast<uint32_t>(input.queued);
    return true;
}

// Takes everything the tty holds, finishing a sequence that has begun, so
// the next run starts clean.
void flushInputEvents() {
    if (!isTerminal(INPUT)) return;
    enterRawMode();
    while (readByte(0) || (input.pendingLength > 0 && readByte(ESCAPE_TIMEOUT_MS))) {
    }
    input.pendingLength = 0;
    input.queued = 0;
}

// ---- Keystrokes -------------------------------------------------------------------------

// A terminal cannot be peeked: the bytes read to find no key are typed
// back into it (TIOCSTI, while echo is off), so the mouse reports that
// came during a PRINT still reach the next INPUTHIT, as on Windows. Where
// the kernel refuses TIOCSTI they are lost.
bool keyWaiting() {
    if (input.heldSecondCode != NO_SECOND_CODE) return true;
    if (!isTerminal(INPUT)) return false;
    int queuedBefore = input.queued;
    std::memcpy(input.log, input.pending, static_cast<size_t>(input.pendingLength));
    input.logLength = input.pendingLength;
    bool found = fillQueue(true, false);
    if (!found && input.logLength > 0) {
        for (int i = 0; i < input.logLength; ++i) ioctl(INPUT, TIOCSTI, &input.log[i]);
        input.queued = queuedBefore;
        input.pendingLength = 0;
    }
    input.logLength = -1;
    return found;
}

// Events before the key are dropped, as the Windows C runtime does.
int readKeyCode() {
    if (input.heldSecondCode != NO_SECOND_CODE) {
        int code = input.heldSecondCode;
        input.heldSecondCode = NO_SECOND_CODE;
        return code;
    }
    // No terminal, or it hung up: -1, which ends KBD with status 255.
    if (!isTerminal(INPUT) || !fillQueue(true, true)) return -1;
    int key = firstKey();
    int first = input.queue[key].first;
    input.heldSecondCode = input.queue[key].second;
    dequeue(key + 1);
    return first;
}

void noteKeyCode(int32_t code) {
    keyResult.code = code;
    keyResult.noted = true;
}

// ---- Clock and process ---------------------------------------------------------------------

void sleepMilliseconds(uint32_t milliseconds) {
    timespec left = {static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

DateTime localTime() {
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local = {};
    localtime_r(&now.tv_sec, &local);
    return DateTime{static_cast<uint16_t>(local.tm_year + 1900),
                    static_cast<uint16_t>(local.tm_mon + 1),
                    static_cast<uint16_t>(local.tm_wday),
                    static_cast<uint16_t>(local.tm_mday),
                    static_cast<uint16_t>(local.tm_hour),
                    static_cast<uint16_t>(local.tm_min),
                    static_cast<uint16_t>(local.tm_sec),
                    static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

}  // namespace console

// Reports are ASCII but for INPUTHIT's key character, a 1252 byte: bytes
// 80-FF go out as their characters in UTF-8, as PRINT shows them.
void writeReport(const char *text, int length) {
    char utf8[256 * 3];
    ScreenStream s;
    startStream(&s, utf8, sizeof utf8, 0, 0);
    for (int i = 0; i < length; ++i) {
        uint8_t byte = static_cast<uint8_t>(text[i]);
        char one[2] = {text[i], '\0'};
        if (byte < 0x80) appendText(&s, one);
        else appendCharacter(&s, byte);
    }
    std::fwrite(utf8, 1, static_cast<size_t>(s.length), stdout);
    std::fflush(stdout);
}
