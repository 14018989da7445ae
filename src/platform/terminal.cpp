// A VT/xterm terminal driven through termios: the Unix console. The screen
// is standard output when it is a terminal (otherwise screen operations do
// nothing); input is standard input when it is a terminal of which this
// process is in the foreground (otherwise event operations fail). Sequences
// sent, besides the cell stream of vtoutput.cpp:
//   ESC 7 / ESC 8             DECSC / DECRC  save / restore cursor, SGR, origin
//                                            mode and pending wrap around cells
//   ESC [ ? 6 l               DECOM          positions count from the screen's
//                                            corner, not from the margins
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

#include <cstdio>
#include <cstdlib>
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
const int NO_FD = -1;
const int FALLBACK_COLUMNS = 80, FALLBACK_ROWS = 24;
const int ESCAPE_TIMEOUT_MS = 80;  // a lone ESC is the Escape key after this
const int DRAIN_QUIET_MS = 50;     // reports still in flight when mouse goes off
const uint32_t UTF8_CODE_PAGE = 65001;  // what outputCodePage reports
const uint32_t LARGEST_UNDERLINE = 50;  // cursor sizes up to this draw an underline
const int QUEUE_LENGTH = 64;
const int PENDING_LENGTH = 64;
const int LOG_LENGTH = 1024;

const char START_CELLS[] = "\x1b" "7" "\x1b[?6l";
const char END_CELLS[] = "\x1b" "8";
const char SHOW_CURSOR[] = "\x1b[?25h";
const char HIDE_CURSOR[] = "\x1b[?25l";
const char BLINKING_BLOCK[] = "\x1b[1 q";
const char BLINKING_UNDERLINE[] = "\x1b[3 q";
const char MOUSE_ON[] = "\x1b[?1000h\x1b[?1002h\x1b[?1006h\x1b[?1004h";
const char MOUSE_OFF[] = "\x1b[?1004l\x1b[?1006l\x1b[?1002l\x1b[?1000l";
// What a stopped run leaves for the shell: no reporting, a cursor.
const char STOPPED[] = "\x1b[?1004l\x1b[?1006l\x1b[?1002l\x1b[?1000l\x1b[?25h";

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
    bool drawn;           // a PRINT drew this run: input is left alone
};

struct QueuedInput {
    InputEvent event;
    bool isKey;
    int first, second;    // the key's _getch codes
    int logStart, logEnd; // the bytes it came from, in Input::log
};

struct Input {
    QueuedInput queue[QUEUE_LENGTH];  // decoded input not yet taken
    int queued;                       // entries in queue
    uint8_t pending[PENDING_LENGTH];  // bytes read but not decoded yet
    int pendingLength;                // bytes in pending
    int pendingAt;                    // where pending[0] is in log
    int heldSecondCode;               // _getch's second code, for the next call
    MouseButtons mouse;               // buttons held, from report to report
    bool ended;                       // read() saw the end of input
    int typedBefore;  // bytes still to read that were typed before raw mode
    bool lineFeedWasEnter;  // ... under ICRNL, which made Enter a line feed
    uint8_t log[LOG_LENGTH];  // every byte this run read, to type back what
    int logLength;            // it did not use
};

// The terminal the run belongs to, for the signal handlers too.
struct Control {
    int fd;       // standard input if a terminal, else standard output if one
    int writeFd;  // that terminal, writable (mouse and focus sequences)
};

struct Tty {
    termios found;     // the terminal as this run found it
    termios resting;   // what to leave it in (INPUTHIT changes this)
    termios applied;   // what this run last set
    bool known;        // input is a terminal in the foreground, settings read
    bool checked;      // `known` has been worked out
    bool raw;          // raw mode is applied right now
    bool signalsKept;  // raw mode lets Ctrl+C and Ctrl+\ signal (MOUSE)
    bool mouseOn;      // this run switched reporting on
};

// The key code KBD or _KBD ends with.
struct KeyResult {
    int32_t code;
    bool noted;
};

CellOutput cellOutput;                // the screen side
uint32_t codePage = UTF8_CODE_PAGE;   // as PRINT sets and restores it
Input input = {{}, 0, {}, 0, 0, NO_SECOND_CODE, {0}, false, 0, false, {}, 0};  // the keyboard side
Control control = {NO_FD, NO_FD};     // the terminal, for the handlers
Tty tty;                              // the tty's settings and modes
KeyResult keyResult;                  // for standard output at the end
Charset charset = CHARSET_UTF8;       // what the terminal's bytes mean
bool screenIsTerminal;                // standard output is a terminal
volatile sig_atomic_t resized;        // SIGWINCH came

bool isTerminal(int fd) { return isatty(fd) == 1; }

// A process outside the terminal's foreground process group is stopped by
// the system when it reads or changes the settings (job control). A
// terminal that is not this process's own has no such groups.
bool inForeground(int fd) {
    pid_t group = tcgetpgrp(fd);
    return group < 0 || group == getpgrp();
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
    if (screenIsTerminal) writeAll(SCREEN, text, std::strlen(text));
}

// Mouse and focus reporting belong to the terminal standard input is.
void writeInputTerminal(const char *text) {
    if (control.fd == INPUT && control.writeFd != NO_FD)
        writeAll(control.writeFd, text, std::strlen(text));
}

// KBD and _KBD print the full key code when standard output is not a
// terminal (key=$(conx KBD) gives 327 for Up).
void printNotedKeyCode() {
    if (keyResult.noted && !screenIsTerminal) std::printf("%d", keyResult.code);
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

// The locale's name for the character set, as the C library looks for it.
const char *localeName() {
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value) return value;
    }
    return "";
}

// ---- Terminal settings ---------------------------------------------------------

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

bool sameSettings(const termios &a, const termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// TCSANOW, never TCSAFLUSH: keys typed before the run must survive.
void setSettings(const termios &t) {
    tcsetattr(INPUT, TCSANOW, &t);
    tty.applied = t;
}

void applySettings() { setSettings(tty.raw ? rawSettings() : tty.resting); }

// Gives `t` back only if the settings are still the ones this run set:
// when another conx reading the same terminal (or the script) changed them
// meanwhile, theirs stay. Safe in a signal handler.
void giveBack(const termios &t) {
    termios now;
    if (tcgetattr(INPUT, &now) == 0 && sameSettings(now, tty.applied)) setSettings(t);
}

bool loadSettings() {
    if (tty.checked) return tty.known;
    tty.checked = true;
    tty.known = control.fd == INPUT && inForeground(INPUT) && tcgetattr(INPUT, &tty.found) == 0;
    tty.resting = tty.applied = tty.found;
    return tty.known;
}

// Keys typed before raw mode went through the settings found: under ICRNL
// Enter became a line feed, which is then read back as Enter.
void enterRawMode() {
    if (!loadSettings() || tty.raw) return;
    tty.raw = true;
    applySettings();
    if (ioctl(INPUT, FIONREAD, &input.typedBefore) != 0) input.typedBefore = 0;
    input.lineFeedWasEnter = (tty.found.c_iflag & ICRNL) && !(tty.found.c_iflag & (INLCR | IGNCR));
}

// ---- Signals ---------------------------------------------------------------------

// A signal ends the run in the middle: give back what it found.
void onEndingSignal(int signalNumber) {
    if (tty.mouseOn && control.writeFd != NO_FD)
        writeAll(control.writeFd, MOUSE_OFF, sizeof MOUSE_OFF - 1);
    if (tty.known) giveBack(tty.found);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Ctrl+Z: while stopped, the shell gets a terminal it can use (echo, line
// editing, signals, a cursor, no mouse reports); on `fg` the run takes its
// own settings back and goes on where it was.
void onStop(int) {
    int savedErrno = errno;
    termios before;
    bool foreground = control.fd != NO_FD && inForeground(control.fd);
    bool settingsRead = foreground && tcgetattr(control.fd, &before) == 0;
    if (foreground && control.writeFd != NO_FD)
        writeAll(control.writeFd, STOPPED, sizeof STOPPED - 1);
    if (settingsRead) {
        // The settings the run found (a command between a loop's frames
        // finds the loop's: it knows no others), with echo and line editing.
        termios shell = tty.known ? tty.found : before;
        shell.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
        tcsetattr(control.fd, TCSANOW, &shell);
    }
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // stops here until continued
    signal(SIGTSTP, onStop);
    if (settingsRead && inForeground(control.fd)) {
        tcsetattr(control.fd, TCSANOW, &before);
        if (tty.mouseOn && control.writeFd != NO_FD)
            writeAll(control.writeFd, MOUSE_ON, sizeof MOUSE_ON - 1);
    }
    errno = savedErrno;
}

void onResize(int) { resized = 1; }

void installSignalHandlers() {
    struct sigaction action = {};
    // The shell may take the terminal back while a handler runs (its job
    // stopped): the handler's own tcsetattr must not stop the run again.
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTTOU);
    const int Ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
    for (int s : Ending) {
        struct sigaction was = {};
        sigaction(s, nullptr, &was);
        action.sa_handler = s == SIGTSTP ? onStop : onEndingSignal;
        if (was.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);  // nohup stays nohup
    }
    // No SA_RESTART: a blocking wait returns at once to report the new size.
    action.sa_handler = onResize;
    sigaction(SIGWINCH, &action, nullptr);
}

// The terminal's descriptors, its character set and the handlers, before
// any command runs.
void prepareTerminal() {
    charset = charsetFromLocale(localeName());
    screenIsTerminal = isTerminal(SCREEN);
    if (isTerminal(INPUT)) {
        control.fd = INPUT;
        // Standard input may be open for reading only (conx MOUSE < /dev/tty).
        int flags = fcntl(INPUT, F_GETFL);
        const char *name = nullptr;
        if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) control.writeFd = INPUT;
        else if ((name = ttyname(INPUT)) != nullptr) control.writeFd = open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } else if (screenIsTerminal) {
        control.fd = control.writeFd = SCREEN;
    }
    // A run in the background still draws, also where the tty stops
    // background output (TOSTOP); it never changes settings or reads.
    if (control.fd != NO_FD && !inForeground(control.fd)) signal(SIGTTOU, SIG_IGN);
    installSignalHandlers();
}

// ---- Input queue ----------------------------------------------------------------

void dequeue(int count) {
    size_t kept = static_cast<size_t>(input.queued - count);
    std::memmove(&input.queue[0], &input.queue[count], sizeof input.queue[0] * kept);
    input.queued -= count;
}

void enqueue(const InputEvent &event, bool isKey, int first, int second, int used) {
    if (input.queued == QUEUE_LENGTH) dequeue(1);  // a flood of reports: the oldest goes
    input.queue[input.queued++] =
        QueuedInput{event, isKey, first, second, input.pendingAt, input.pendingAt + used};
}

int firstKey() {
    for (int i = 0; i < input.queued; ++i)
        if (input.queue[i].isKey) return i;
    return -1;
}

void enqueueInput(const TerminalInput &in, int used) {
    InputEvent event;
    if (in.kind == KEY_INPUT) enqueue(keyEventRecord(in), true, in.first, in.second, used);
    else if (in.kind == FOCUS_INPUT) enqueue(focusEvent(in.focused), false, 0, 0, used);
    else if (mouseEventRecord(in, &input.mouse, &event)) enqueue(event, false, 0, 0, used);
}

// Decodes what the pending bytes hold; `quiet`: nothing more is coming.
void decodePending(bool quiet) {
    while (input.pendingLength > 0) {
        TerminalInput in;
        int used = 0;
        bool full = input.pendingLength == PENDING_LENGTH;
        DecodeStatus status = decodeTerminalInput(input.pending, input.pendingLength, quiet || full,
                                                  &in, &used, charset);
        if (status == DECODE_NEED_MORE) return;
        if (used <= 0) used = 1;
        if (status == DECODE_FOUND) enqueueInput(in, used);
        input.pendingLength -= used;
        input.pendingAt += used;
        std::memmove(input.pending, input.pending + used, static_cast<size_t>(input.pendingLength));
    }
}

void noteResize() {
    if (!resized) return;
    resized = 0;
    int columns, rows;
    screenSize(&columns, &rows);
    enqueue(bufferSizeEvent(BufferSize{static_cast<int16_t>(columns), static_cast<int16_t>(rows)}),
            false, 0, 0, 0);
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
    if (input.typedBefore > 0) {
        --input.typedBefore;
        if (byte == '\n' && input.lineFeedWasEnter) byte = '\r';
    }
    if (input.logLength < LOG_LENGTH) input.log[input.logLength] = byte;
    ++input.logLength;
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
// (or a last motion) may still be on its way: take such reports and drop
// them, and stop at a key typed after, which stays queued.
bool keyFrom(int start) {
    for (int i = start; i < input.queued; ++i)
        if (input.queue[i].isKey) return true;
    return false;
}

void drainReports() {
    int before = input.queued;
    while (!keyFrom(before) && readByte(DRAIN_QUIET_MS)) {
    }
    decodePending(true);
    int kept = before;
    for (int i = before; i < input.queued; ++i)
        if (input.queue[i].isKey) input.queue[kept++] = input.queue[i];
    input.queued = kept;
}

// Input the run read but did not use (reports a _KBD read looking for a
// key, a key typed while MOUSE ended) is typed back into the terminal for
// the next command, while echo is still off. Where the kernel refuses
// (dev.tty.legacy_tiocsti = 0) it is lost.
bool typeBack(int from, int to) {
    for (int i = from; i < to; ++i)
        if (ioctl(INPUT, TIOCSTI, &input.log[i]) != 0) return false;
    return true;
}

void typeBackUnused() {
    if (!tty.raw || input.logLength > LOG_LENGTH) return;
    for (int i = 0; i < input.queued; ++i)
        if (!typeBack(input.queue[i].logStart, input.queue[i].logEnd)) return;
    typeBack(input.pendingAt, input.logLength);
}

// The end of a run: unused input back, the settings given back.
void finishRun() {
    if (!tty.known) return;
    typeBackUnused();
    tty.raw = false;
    giveBack(tty.resting);
}

}  // namespace

// ---- Entry ---------------------------------------------------------------------------

// A Unix exit status keeps 8 bits, too few for key codes 256-418: the
// status is the code's low 8 bits (see noteKeyCode for the full code).
// Reports leave only after the terminal is given back: a script reading
// them through `< <(conx INPUTHIT 0)` goes on as soon as they arrive, and
// its own stty must come after conx's.
int main(int argc, char **argv) {
    prepareTerminal();
    int32_t code = runCommandLine(argc, argv, 0);
    finishRun();
    printNotedKeyCode();
    std::fflush(stdout);
    return code & 0xFF;
}

// ---- Screen -------------------------------------------------------------------------

namespace {

void startCells() {
    int columns, rows;
    screenSize(&columns, &rows);
    CellOutput &out = cellOutput;
    startStream(&out.stream, out.bytes, sizeof out.bytes, columns, rows, charset);
    appendText(&out.stream, START_CELLS);
    out.open = true;
}

}  // namespace

namespace console {

void writeCell(Position at, Cell cell) {
    if (!screenIsTerminal) return;
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

// Cell bytes are always shown as their 1252 characters, the code page
// PRINT selects for them, in the terminal's own character set.
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
    if (!screenIsTerminal) return;
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
// (tmux answers no query), so the record says: not known. What the command
// set in it is sent, and nothing else: 'CURSOR 1' shows the cursor in the
// shape it has, and a setting that changes nothing sends nothing.
CursorShape cursorShape() { return CursorShape{0, CURSOR_VISIBILITY_NOT_KNOWN}; }

void setCursorShape(CursorShape shape) {
    if (shape.size >= 1 && shape.size <= 100)
        writeScreen(shape.size <= LARGEST_UNDERLINE ? BLINKING_UNDERLINE : BLINKING_BLOCK);
    if (shape.visible != CURSOR_VISIBILITY_NOT_KNOWN)
        writeScreen(shape.visible == CURSOR_HIDDEN ? HIDE_CURSOR : SHOW_CURSOR);
}

// xterm's font menu: entry 0 the default, 1-6 the menu's sizes; other
// terminals, and xterm unless its allowFontOps resource is true, ignore
// the request.
void setFont(uint32_t index) {
    char bytes[32];
    std::snprintf(bytes, sizeof bytes, "\x1b]50;#%u\x1b\\", index);
    writeScreen(bytes);
}

// ---- Input events ---------------------------------------------------------------------

// The input mode as the terminal shows it. A terminal cannot be asked
// whether mouse reporting is on, so the mouse bit says whether this run
// switched it on.
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
// and the tty set up to queue keys unechoed; off, reporting goes off and
// the tty's echo and line editing are back as the run found them. Ctrl+C
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
        tty.resting.c_lflag = (tty.resting.c_lflag & ~(ECHO | ICANON)) |
                              (tty.found.c_lflag & (ECHO | ICANON));
    }
    tty.mouseOn = wanted;
    applySettings();
}

// The one wait with no end but a click (MOUSE): a terminal that sends no
// mouse reports would hold it forever, so Ctrl+C stays a signal here.
bool readInputEvent(InputEvent *event) {
    if (!loadSettings()) return false;
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
    if (!loadSettings() || !fillQueue(false, false)) return false;
    *event = input.queue[0].event;
    return true;
}

// Input is decoded only as far as needed: the count is of the events
// decoded so far, and is nonzero exactly when input is pending.
bool countInputEvents(uint32_t *count) {
    if (!loadSettings()) return false;
    fillQueue(false, false);
    *count = static_cast<uint32_t>(input.queued);
    return true;
}

// Takes everything the tty holds, finishing a sequence that has begun, so
// the next run starts clean.
void flushInputEvents() {
    if (!loadSettings()) return;
    enterRawMode();
    while (readByte(0) || (input.pendingLength > 0 && readByte(ESCAPE_TIMEOUT_MS))) {
    }
    input.pendingLength = 0;
    input.pendingAt = input.logLength;
    input.queued = 0;
}

// ---- Keystrokes -------------------------------------------------------------------------

bool keyWaiting() {
    if (input.heldSecondCode != NO_SECOND_CODE) return true;
    if (cellOutput.drawn || !loadSettings()) return false;
    return fillQueue(true, false);
}

// Events before the key are dropped, as the Windows C runtime does.
int readKeyCode() {
    if (input.heldSecondCode != NO_SECOND_CODE) {
        int code = input.heldSecondCode;
        input.heldSecondCode = NO_SECOND_CODE;
        return code;
    }
    // No terminal, a background run, or a terminal that hung up: -1, which
    // ends KBD with status 255.
    if (!loadSettings() || !fillQueue(true, true)) return -1;
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
// 80-FF go out as their characters in the terminal's character set, as
// PRINT shows them.
void writeReport(const char *text, int length) {
    char bytes[256 * 3];
    ScreenStream s;
    startStream(&s, bytes, sizeof bytes, 0, 0, charset);
    for (int i = 0; i < length; ++i) {
        uint8_t byte = static_cast<uint8_t>(text[i]);
        char one[2] = {text[i], '\0'};
        if (byte < 0x80) appendText(&s, one);
        else appendCharacter(&s, byte);
    }
    std::fwrite(bytes, 1, static_cast<size_t>(s.length), stdout);
}
