// The input queue: bytes read from the terminal one at a time, decoded
// into keys, mouse and focus events (vtinput.cpp), taken by the commands;
// what a run read and did not use goes back for the next one (typeback.cpp).
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/console.h"
#include "platform/terminal/terminal.h"
#include "platform/terminal/vtinput.h"

namespace {

const int INPUT = STDIN_FILENO;
const uint8_t ESC = 0x1B;
const int ESCAPE_TIMEOUT_MS = 80;  // a lone ESC is the Escape key after this
const int TOGETHER_MS = 20;        // the bytes a terminal writes for one key come closer
const int DRAIN_QUIET_MS = 50;     // reports still in flight when mouse goes off
const int ANSWER_WAIT_MS = 200;    // for a terminal that answers no request
const int WAIT_SLICE_MS = 50;      // INPUTHIT 1's and a shared terminal's waits
const int CTRL_C = 3;
const int QUEUE_LENGTH = 64;
const int PENDING_LENGTH = 64;
const int LOG_LENGTH = 4096;  // more than a full queue's bytes and the pending ones

// Places in the input are counts of the bytes read before.
struct QueuedInput {
    InputEvent event;
    bool isKey;
    int first, second;  // the key's _getch codes
    int from, to;       // the bytes it came from
};

// Every field starts empty but heldSecondCode.
struct Input {
    QueuedInput queue[QUEUE_LENGTH] = {};   // decoded input not yet taken
    int queued = 0;                         // entries in queue
    uint8_t pending[PENDING_LENGTH] = {};   // bytes read but not decoded yet
    int pendingLength = 0;                  // bytes in pending
    int pendingAt = 0;                      // the place of pending[0]
    int heldSecondCode = NO_SECOND_CODE;    // _getch's second code, for the next call
    MouseButtons mouse = {0};               // buttons held, from report to report
    bool ended = false;                     // read() saw the end of input (a hang-up)
    bool answerDue = false;                 // focus reports now answer our enable
    int typedBefore = 0;            // bytes still to read that were typed before raw mode
    bool lineFeedWasEnter = false;  // ... under ICRNL, which made Enter a line feed
    int readCount = 0;              // bytes this run read
    uint8_t log[LOG_LENGTH] = {};   // the bytes read from the first one neither
    int logStart = 0;               // used nor dropped (at this place) on, to
    int logLength = 0;              // give back what the run did not use
    bool logFull = false;           // a byte found no room: nothing goes back
};

Input input;  // the keyboard side

// Keys typed before raw mode went through the settings found: under ICRNL
// Enter became a line feed, which is then read back as Enter.
void startReading() {
    if (!enterRawMode()) return;
    if (ioctl(INPUT, FIONREAD, &input.typedBefore) != 0) input.typedBefore = 0;
    input.lineFeedWasEnter = (tty.found.c_iflag & ICRNL) && !(tty.found.c_iflag & (INLCR | IGNCR));
}

// The log lets go of the bytes before the first one still unused.
void forgetUsedBytes() {
    int used = (input.queued > 0 ? input.queue[0].from : input.pendingAt) - input.logStart;
    if (used <= 0 || input.logFull) return;
    input.logLength -= used;
    input.logStart += used;
    std::memmove(input.log, input.log + used, static_cast<size_t>(input.logLength));
}

void dequeue(int count) {
    size_t kept = static_cast<size_t>(input.queued - count);
    std::memmove(&input.queue[0], &input.queue[count], sizeof input.queue[0] * kept);
    input.queued -= count;
    forgetUsedBytes();
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
    else if (in.kind == FOCUS_INPUT) {
        if (!input.answerDue) enqueue(focusEvent(in.focused), false, 0, 0, used);
    } else if (mouseEventRecord(in, &input.mouse, &event)) {
        enqueue(event, false, 0, 0, used);
    }
}

// The length of the device attributes answer, ESC [ ? digits and ';' c,
// that the bytes begin with: 0 when they begin with none, -1 while it is
// not complete. Taken here, whole: xterm's is longer than any key.
int attributesAnswerLength(const uint8_t *bytes, int length) {
    const uint8_t Start[] = {0x1B, '[', '?'};
    int i = 0;
    for (; i < length && i < 3; ++i)
        if (bytes[i] != Start[i]) return 0;
    while (i < length && ((bytes[i] >= '0' && bytes[i] <= '9') || bytes[i] == ';')) ++i;
    if (i == length) return -1;
    return bytes[i] == 'c' ? i + 1 : 0;
}

// Decodes what the pending bytes hold; `quiet`: nothing more is coming.
void decodePending(bool quiet) {
    while (input.pendingLength > 0) {
        TerminalInput in;
        int used = attributesAnswerLength(input.pending, input.pendingLength);
        bool full = input.pendingLength == PENDING_LENGTH;
        DecodeStatus status = DECODE_NOT_MINE;
        if (used > 0) input.answerDue = false;
        else if (used < 0 && !quiet && !full) return;
        else status = decodeTerminalInput(input.pending, input.pendingLength, quiet || full, &in,
                                          &used, charset);
        if (status == DECODE_NEED_MORE) return;
        if (used <= 0) used = 1;
        if (status == DECODE_FOUND) enqueueInput(in, used);
        input.pendingLength -= used;
        input.pendingAt += used;
        std::memmove(input.pending, input.pending + used, static_cast<size_t>(input.pendingLength));
        forgetUsedBytes();
    }
}

// How long the rest of the pending bytes may take. After a lone ESC the
// escape time: a slow link may bring a sequence's rest apart from its ESC.
// Bytes that make an input already (a character's first byte, Alt+Escape,
// Alt+[, a focus-out report) go on only with what the terminal wrote with
// them: a byte after a pause is the next key, and is not read for this one.
int restWaitMs() {
    if (input.pendingLength == 1 && input.pending[0] == ESC) return ESCAPE_TIMEOUT_MS;
    TerminalInput in;
    int used = 0;
    DecodeStatus status =
        decodeTerminalInput(input.pending, input.pendingLength, true, &in, &used, charset);
    return status == DECODE_FOUND ? TOGETHER_MS : ESCAPE_TIMEOUT_MS;
}

void noteResize() {
    if (!resized) return;
    resized = 0;
    int columns, rows;
    screenSize(&columns, &rows);
    enqueue(bufferSizeEvent(BufferSize{static_cast<int16_t>(columns), static_cast<int16_t>(rows)}),
            false, 0, 0, 0);
}

// Waits up to timeoutMs (-1: without end) for a byte or a hang-up; a
// signal (a resize) ends it early. A run that found another conx reading
// waits in slices, to take the settings up when that one gives them back.
bool inputReady(int timeoutMs) {
    for (;;) {
        bool sliced = tty.shared && (timeoutMs < 0 || timeoutMs > WAIT_SLICE_MS);
        pollfd p = {INPUT, POLLIN, 0};
        int ready = poll(&p, 1, sliced ? WAIT_SLICE_MS : timeoutMs);
        if (tty.shared) takeUpChangedSettings();
        if (ready != 0 || !sliced) return ready > 0;
        if (timeoutMs > 0) timeoutMs -= WAIT_SLICE_MS;
    }
}

// Reads one byte if one comes within timeoutMs (-1: wait); false if none.
// A hang-up (end of input, EIO) ends the input for good. A terminal writes
// a key's bytes at once: an ESC that comes apart from the pending bytes
// begins a key of its own (Escape pressed twice, Escape typed before a
// terminal's answer), and the pending ones are taken as they are.
bool readByte(int timeoutMs) {
    long long asked = monotonicMs();
    if (!inputReady(timeoutMs)) return false;
    uint8_t byte;
    ssize_t n = read(INPUT, &byte, 1);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) input.ended = true;
    if (n != 1) return false;
    if (input.typedBefore > 0) {
        --input.typedBefore;
        if (byte == '\n' && input.lineFeedWasEnter) byte = '\r';
    }
    if (byte == ESC && input.pendingLength > 0 && monotonicMs() - asked > TOGETHER_MS)
        decodePending(true);
    ++input.readCount;
    if (input.logLength == LOG_LENGTH) input.logFull = true;
    if (!input.logFull) input.log[input.logLength++] = byte;
    input.pending[input.pendingLength++] = byte;
    decodePending(false);
    return true;
}

// Reads byte by byte, so nothing beyond what is asked for is taken, until
// the queue holds a key (wantKey) or any event. With `wait` it blocks for
// it, dropping the oldest reports of a flood (a key or click ends it, and
// takes what came before); without, it stops when no byte is there, or
// when the queue is full: no more is read ahead than can go back. True
// when it is there.
bool fillQueue(bool wantKey, bool wait) {
    startReading();
    for (;;) {
        noteResize();
        if (wantKey ? firstKey() >= 0 : input.queued > 0) return true;
        if (input.ended) return false;
        if (input.pendingLength > 0) {
            if (!readByte(restWaitMs()) && !resized) decodePending(true);
        } else if (!wait && input.queued == QUEUE_LENGTH) {
            return false;
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
    forgetUsedBytes();
}

// VTE answers every focus enable with a focus-in report, even when
// reporting is already on; xterm and tmux answer one that turns it on. A
// device attributes request follows the enable, and terminals answer in
// order: focus reports before its answer are the answer to the enable and
// are dropped, while keys and clicks that come meanwhile stay queued. A
// terminal that answers nothing is waited for 200 ms: what it sends later
// is read then as input, a focus report as one (its attributes answer is
// dropped as every reply is).
void enableFocusReporting() {
    startReading();  // raw first: the answer is not echoed
    tty.focusOn = true;
    if (!writeInputTerminal(FOCUS_ON) || !writeInputTerminal(ATTRIBUTES_REQUEST)) return;
    input.answerDue = true;
    long long end = monotonicMs() + ANSWER_WAIT_MS;
    for (long long left = ANSWER_WAIT_MS; input.answerDue && !input.ended && left > 0;
         left = end - monotonicMs())
        readByte(static_cast<int>(left));
    input.answerDue = false;
}

// The bytes of a place in the input, from the log, after `bytes`.
int copyLogged(int from, int to, uint8_t *bytes, int length) {
    for (int at = from; at < to; ++at) bytes[length++] = input.log[at - input.logStart];
    return length;
}

}  // namespace

// Input the run read but did not use (reports a _KBD read looking for a
// key, a key typed while MOUSE ended) goes back into the terminal for the
// next command, while echo is still off.
void typeBackUnused() {
    if (!tty.raw || input.logFull) return;
    uint8_t bytes[LOG_LENGTH];
    int length = 0;
    for (int i = 0; i < input.queued; ++i)
        length = copyLogged(input.queue[i].from, input.queue[i].to, bytes, length);
    length = copyLogged(input.pendingAt, input.pendingAt + input.pendingLength, bytes, length);
    if (length > 0) typeBack(bytes, length);
}

namespace console {

// ---- Input events ---------------------------------------------------------------------

// The input mode as the terminal shows it. A terminal cannot be asked
// whether mouse reporting is on, so the mouse bit says whether this run
// switched it on.
bool inputMode(uint32_t *mode) {
    if (!loadSettings()) return false;
    const termios &t = tty.resting;
    uint32_t m = ENABLE_EXTENDED_FLAGS_FLAG | ENABLE_QUICK_EDIT_MODE_FLAG;
    if (t.c_lflag & ISIG) m |= ENABLE_PROCESSED_INPUT_FLAG;
    if (t.c_lflag & ICANON) m |= ENABLE_LINE_INPUT_FLAG;
    if (t.c_lflag & ECHO) m |= ENABLE_ECHO_INPUT_FLAG;
    if (tty.mouseOn) m |= ENABLE_MOUSE_INPUT_FLAG;
    *mode = m;
    return true;
}

// Only the mouse bit has a lasting effect: on, reporting is switched on
// and the tty set up to queue keys unechoed; off, reporting goes off and
// the tty's echo and line editing are back as the run found them. Ctrl+C
// is input while conx reads and a signal between runs, whatever the bit.
// Mouse reporting is sent every time (no terminal answers it); focus
// reporting only where the settings found are not the ones an INPUTHIT
// leaves, since its loop has it on already, and it goes off again only
// where this run switched it on.
void setInputMode(uint32_t mode) {
    if (!loadSettings()) return;
    bool wanted = (mode & ENABLE_MOUSE_INPUT_FLAG) != 0;
    if (wanted) {
        tty.resting.c_lflag &= ~(ECHO | ICANON);
        applySettings();  // echo off before any report can come
        tty.mouseOn = true;
        writeInputTerminal(MOUSE_ON);
        if (!tty.focusOn && !leftByInputHit(tty.found)) enableFocusReporting();
    } else if (tty.mouseOn) {
        if (tty.focusOn) writeInputTerminal(FOCUS_OFF);
        writeInputTerminal(MOUSE_OFF);
        tty.focusOn = false;
        startReading();
        drainReports();
        tty.resting.c_lflag = (tty.resting.c_lflag & ~(ECHO | ICANON)) |
                              (tty.found.c_lflag & (ECHO | ICANON));
    }
    tty.mouseOn = wanted;
    applySettings();
}

// The one wait with no end but a click (MOUSE): a terminal that sends no
// mouse reports would hold it forever, so Ctrl+C stays a signal here. On
// a terminal that is not this process's controlling terminal (setsid) its
// signal goes to others: there Ctrl+C comes as a key and ends the run as
// the signal would.
bool readInputEvent(InputEvent *event) {
    if (!loadSettings()) return false;
    tty.signalsKept = !tty.foreign;
    if (tty.raw) applySettings();
    bool got = fillQueue(false, true);
    tty.signalsKept = false;
    applySettings();
    if (!got) return false;
    if (tty.foreign && input.queue[0].isKey && input.queue[0].first == CTRL_C) endBySignal(SIGINT);
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
// decoded so far, and is nonzero exactly when input is pending. A terminal
// that hung up has nothing more to come.
bool countInputEvents(uint32_t *count) {
    if (!loadSettings()) return false;
    fillQueue(false, false);
    *count = static_cast<uint32_t>(input.queued);
    return input.queued > 0 || !input.ended;
}

// A byte, a hang-up or a resize ends the wait at once; it lasts 50 ms at
// most, so that a resize signalled just before it is seen soon too.
void awaitInput() {
    if (!resized) inputReady(WAIT_SLICE_MS);
}

// Takes everything the tty holds, finishing a sequence that has begun, so
// the next run starts clean.
void flushInputEvents() {
    if (!loadSettings()) return;
    startReading();
    while (readByte(0) || (input.pendingLength > 0 && readByte(restWaitMs()))) {
    }
    input.pendingLength = 0;
    input.pendingAt = input.readCount;
    input.queued = 0;
    forgetUsedBytes();
}

// ---- Keystrokes -------------------------------------------------------------------------

bool keyWaiting() {
    if (input.heldSecondCode != NO_SECOND_CODE) return true;
    if (frameDrawn() || !loadSettings()) return false;
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

}  // namespace console
