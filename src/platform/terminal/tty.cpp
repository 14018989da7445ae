// The tty's settings, the terminal's descriptors and the signals that may
// end or stop a run: raw mode only while conx reads, the settings found
// given back on every way out.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/terminal/terminal.h"

namespace {

const int SCREEN = STDOUT_FILENO;
const int INPUT = STDIN_FILENO;
const int FALLBACK_COLUMNS = 80, FALLBACK_ROWS = 24;

bool isTerminal(int fd) { return isatty(fd) == 1; }

// A process outside the terminal's foreground process group is stopped by
// the system when it reads or changes the settings (job control). A
// terminal that is not this process's own has no such groups.
bool inForeground(int fd) {
    pid_t group = tcgetpgrp(fd);
    return group < 0 || group == getpgrp();
}

// The locale's name for the character set, as the C library looks for it.
const char *localeName() {
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value) return value;
    }
    return "";
}

}  // namespace

Control control = {NO_FD, NO_FD, false};
Tty tty;
Charset charset = CHARSET_UTF8;
bool screenIsTerminal;
volatile sig_atomic_t resized;

long long monotonicMs() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

namespace {

// How long a signal handler waits for a terminal that takes no output (a
// frozen window, a stalled ssh): the run ends all the same.
const int HANDLER_WAIT_MS = 500;

long long handlerDeadline;  // while a handler writes, when it stops waiting

// Waits until the descriptor takes output: without end, or until the
// handler's deadline. A terminal left non-blocking (O_NONBLOCK belongs to
// the open terminal, shared with every program using it: node leaves it
// on) answers a full buffer with EAGAIN instead of waiting itself.
bool waitWritable(int fd) {
    int left = handlerDeadline ? static_cast<int>(handlerDeadline - monotonicMs()) : -1;
    if (handlerDeadline && left <= 0) return false;
    pollfd p = {fd, POLLOUT, 0};
    int ready = poll(&p, 1, left);
    return ready > 0 || (ready < 0 && errno == EINTR);
}

}  // namespace

// A blocking write waits for room for all it is given: a handler writes a
// byte at a time, each once the terminal has room for it.
bool writeAll(int fd, const char *bytes, size_t length) {
    while (length > 0) {
        if (handlerDeadline && !waitWritable(fd)) return false;
        ssize_t n = write(fd, bytes, handlerDeadline ? 1 : length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && waitWritable(fd)) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool writeInputTerminal(const char *text) {
    return control.fd == INPUT && control.writeFd != NO_FD &&
           writeAll(control.writeFd, text, std::strlen(text));
}

// The input terminal's size serves INPUTHIT's report of a resize read
// with $(...), where the screen is a pipe.
void screenSize(int *columns, int *rows) {
    winsize size = {};
    bool known = false;
    for (int fd : {SCREEN, INPUT})
        known = known || (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0);
    *columns = known ? size.ws_col : FALLBACK_COLUMNS;
    *rows = known ? size.ws_row : FALLBACK_ROWS;
}

// ---- Settings ---------------------------------------------------------------------------

namespace {

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

// The raw mode above, set by another conx reading the same terminal.
bool looksRaw(const termios &t) {
    return !(t.c_lflag & (ICANON | ECHO | IEXTEN)) && !(t.c_iflag & (ICRNL | IXON));
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

// Gives `t` back only if the settings are still the ones this run set:
// when another conx reading the same terminal (or the script) changed them
// meanwhile, theirs stay. Safe in a signal handler.
void giveBack(const termios &t) {
    termios now;
    if (tcgetattr(INPUT, &now) == 0 && sameSettings(now, tty.applied)) setSettings(t);
}

}  // namespace

void applySettings() { setSettings(tty.raw ? rawSettings() : tty.resting); }

bool leftByInputHit(const termios &t) { return !(t.c_lflag & (ECHO | ICANON)); }

bool loadSettings() {
    if (tty.checked) return tty.known;
    tty.checked = true;
    tty.known = control.fd == INPUT && inForeground(INPUT) && tcgetattr(INPUT, &tty.found) == 0;
    tty.resting = tty.applied = tty.found;
    tty.foreign = tty.known && tcgetpgrp(INPUT) < 0;  // no process groups: not our own
    tty.shared = tty.known && looksRaw(tty.found);
    return tty.known;
}

void takeUpChangedSettings() {
    termios now;
    if (!tty.raw || tcgetattr(INPUT, &now) != 0 || sameSettings(now, tty.applied)) return;
    tty.found = tty.resting = now;
    if (tty.mouseOn) tty.resting.c_lflag &= ~(ECHO | ICANON);
    applySettings();
}

bool enterRawMode() {
    if (!loadSettings() || tty.raw) return false;
    tty.raw = true;
    applySettings();
    return true;
}

void leaveRawMode() {
    if (!tty.known) return;
    tty.raw = false;
    giveBack(tty.resting);
}

// ---- Signals ---------------------------------------------------------------------------

namespace {

// The handlers write to the terminal the run belongs to, also when that
// is only standard output, and wait for it a while at most.
void writeControl(const char *text) {
    if (control.writeFd != NO_FD) writeAll(control.writeFd, text, std::strlen(text));
}

void writeControl(const ScreenStream &s) {
    if (control.writeFd != NO_FD) writeAll(control.writeFd, s.bytes, static_cast<size_t>(s.length));
}

void startHandlerWrites() { handlerDeadline = monotonicMs() + HANDLER_WAIT_MS; }

// Ctrl+Z: while stopped, the shell gets a terminal it can use (echo, line
// editing, signals, a cursor, no mouse reports); on `fg` the run takes its
// own settings back and goes on where it was. Ctrl+Z stops every process
// of the job in no set order: where the script running conx stopped first,
// its shell may have the terminal back already. Reporting goes off all the
// same (SIGTTOU is blocked here, so the terminal takes it from the
// background too); the settings are then the shell's to set, unless they
// are still the ones this run set.
void onStop(int) {
    int savedErrno = errno;
    startHandlerWrites();
    termios before = {};
    bool ours = control.fd != NO_FD && control.foreground;
    bool settingsRead = ours && tcgetattr(control.fd, &before) == 0;
    bool settingsGiven = settingsRead && (inForeground(control.fd) ||
                                          (tty.known && sameSettings(before, tty.applied)));
    char bytes[96];
    ScreenStream sequences;
    startStream(&sequences, bytes, sizeof bytes, 0, 0);
    if (ours) appendStopped(&sequences);
    writeControl(sequences);
    // The settings the run found (a command between a loop's frames finds
    // the loop's: it knows no others).
    termios found = tty.known ? tty.found : before;
    if (settingsGiven) {
        termios shell = found;  // with echo and line editing
        shell.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
        tcsetattr(control.fd, TCSANOW, &shell);
    }
    handlerDeadline = 0;
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // stops here until continued
    signal(SIGTSTP, onStop);
    // Reporting back as it was: the run's own, and the focus reporting of
    // a loop, which the loop's next INPUTHIT takes to be on.
    if (settingsRead && inForeground(control.fd)) {
        // Where the shell set its own, a reading run's are the ones it applied.
        if (settingsGiven) tcsetattr(control.fd, TCSANOW, &before);
        else if (tty.known) tcsetattr(control.fd, TCSANOW, &tty.applied);
        startHandlerWrites();
        sequences.length = 0;
        appendContinued(&sequences, tty.mouseOn, tty.focusOn || leftByInputHit(found));
        writeControl(sequences);
        handlerDeadline = 0;
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
        action.sa_handler = s == SIGTSTP ? onStop : endBySignal;
        if (was.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);  // nohup stays nohup
    }
    // No SA_RESTART: a blocking wait returns at once to report the new size.
    action.sa_handler = onResize;
    sigaction(SIGWINCH, &action, nullptr);
}

// The terminal opened for writing, never as a closed standard descriptor
// (conx MOUSE </dev/tty >&-): a report must not reach the terminal through
// a standard output that was closed.
int openAboveStandard(const char *name) {
    int fd = open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    int above = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return above < 0 ? NO_FD : above;
}

}  // namespace

// A signal ends the run in the middle: give back what it found.
void endBySignal(int signalNumber) {
    startHandlerWrites();
    if (tty.focusOn) writeControl(FOCUS_OFF);
    if (tty.mouseOn) writeControl(MOUSE_OFF);
    if (tty.known) giveBack(tty.found);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void prepareTerminal() {
    charset = charsetFromLocale(localeName());
    screenIsTerminal = isTerminal(SCREEN);
    if (isTerminal(INPUT)) {
        control.fd = INPUT;
        // Standard input may be open for reading only (conx MOUSE < /dev/tty).
        int flags = fcntl(INPUT, F_GETFL);
        const char *name = nullptr;
        if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) control.writeFd = INPUT;
        else if ((name = ttyname(INPUT)) != nullptr) control.writeFd = openAboveStandard(name);
    } else if (screenIsTerminal) {
        control.fd = control.writeFd = SCREEN;
    }
    // A run in the background still draws, also where the tty stops
    // background output (TOSTOP); it never changes settings or reads.
    control.foreground = control.fd != NO_FD && inForeground(control.fd);
    if (control.fd != NO_FD && !control.foreground) signal(SIGTTOU, SIG_IGN);
    installSignalHandlers();
}
