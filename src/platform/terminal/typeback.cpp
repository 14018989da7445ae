// Input a run read and did not use, typed back into the tty (TIOCSTI) for
// the next command: ahead of what came after it, in the order it came.
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/terminal/terminal.h"
#include "platform/terminal/vtinput.h"

namespace {

const int INPUT = STDIN_FILENO;
// A tty reading raw holds 4,095 bytes (the kernel's 4 KB less one), and
// TIOCSTI into a full one drops the byte without an error.
const int TTY_ROOM = 4095;
const int MAX_ROUNDS = 8;  // typings started again for keys that came meanwhile

struct TypeBack {
    uint8_t bytes[TTY_ROOM];  // what goes back, in order
    int length;
    uint8_t taken[TTY_ROOM];  // read back out of the tty
};

TypeBack back;

int waiting() {
    int count = 0;
    return ioctl(INPUT, FIONREAD, &count) == 0 ? count : -1;
}

// The count once a write of the terminal's that is landing (byte by byte,
// the count shows each) is all in: when it holds for a moment.
int settledCount(int count) {
    const timespec Moment = {0, 200 * 1000};
    for (int looks = 0; looks < MAX_ROUNDS; ++looks) {
        nanosleep(&Moment, nullptr);
        int again = waiting();
        if (again == count) break;
        count = again;
    }
    return count;
}

// Reads `count` bytes the tty holds into `to`; false if they did not come
// (another reader of the terminal took them).
bool take(uint8_t *to, int count) {
    const int LongestWaitMs = 50;
    while (count > 0) {
        pollfd p = {INPUT, POLLIN, 0};
        int ready = poll(&p, 1, LongestWaitMs);
        ssize_t n = ready > 0 ? read(INPUT, to, static_cast<size_t>(count)) : ready;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        to += n;
        count -= static_cast<int>(n);
    }
    return true;
}

// The kernel checks that TIOCSTI is allowed before it reads the byte: a
// null byte asks the question and types nothing (EFAULT: allowed).
bool mayTypeBack() { return ioctl(INPUT, TIOCSTI, nullptr) != 0 && errno == EFAULT; }

// How unlike a terminal's writes the bytes are: one for each input they
// decode into, and one more for each that conx does not know or that is
// whole only if nothing follows (a lone Escape).
int oddness(const uint8_t *bytes, int length) {
    int odd = 0;
    for (int at = 0; at < length; ++odd) {
        TerminalInput in;
        int used = 0;
        DecodeStatus status = decodeTerminalInput(bytes + at, length - at, false, &in, &used, charset);
        if (status == DECODE_NEED_MORE) {
            ++odd;
            status = decodeTerminalInput(bytes + at, length - at, true, &in, &used, charset);
        }
        if (status == DECODE_NOT_MINE) ++odd;
        at += used > 0 ? used : 1;
    }
    return odd;
}

// The tail read out: the last byte typed back, and writes of the terminal's
// that came meanwhile, after it or (as it was typed) before it, or on both
// sides. Where it lies is told by what the writes then are: a terminal
// writes whole keys, so where they look least odd, after it on a tie.
int placeOfLastTyped(const uint8_t *tail, int length, uint8_t last) {
    const int MostTried = 64;
    uint8_t writes[MostTried];
    int best = -1, least = 0;
    for (int i = 0; i < length && (i < MostTried || best < 0); ++i) {
        int at = i == 0 ? 0 : i == 1 ? length - 1 : i - 1;  // after, before, between
        if (tail[at] != last) continue;
        if (length > MostTried) return at;
        std::memcpy(writes, tail, static_cast<size_t>(at));
        std::memcpy(writes + at, tail + at + 1, static_cast<size_t>(length - at - 1));
        int odd = oddness(writes, length - 1);
        if (best < 0 || odd < least) best = at, least = odd;
    }
    return best;
}

// All `count` bytes the tty held were read out: the `typed` bytes typed
// back so far, with writes that came since the one before the last was
// typed. The writes go behind.
void putArrivalsBehind(int typed, int count) {
    int at = -1;  // the last byte typed, in back.taken
    if (typed > 0) {
        int place = placeOfLastTyped(back.taken + typed - 1, count - typed + 1, back.bytes[typed - 1]);
        bool typedAsTyped = std::memcmp(back.taken, back.bytes, static_cast<size_t>(typed - 1)) == 0;
        if (place < 0 || !typedAsTyped) return;  // not what was typed: the writes are lost
        at = typed - 1 + place;
    }
    for (int i = typed > 0 ? typed - 1 : 0; i < count; ++i)
        if (i != at) back.bytes[back.length++] = back.taken[i];
}

// Types everything back into the emptied tty. A key that arrives meanwhile
// shows in the tty's count: what it holds is read out, the key put behind,
// and the typing starts again, while rounds are left. Where it would not
// fit behind, the typing stops: TIOCSTI into a full tty would also leave
// the terminal's later bytes waiting in the kernel until its next write.
void typeAll() {
    int typed = 0, rounds = 0;
    for (;;) {
        int count = waiting();
        if (count > typed) {
            count = settledCount(count);
            if (back.length + count - typed > TTY_ROOM) return;
            if (rounds++ < MAX_ROUNDS && take(back.taken, count)) {
                putArrivalsBehind(typed, count);
                typed = 0;
                continue;
            }
        }
        if (typed == back.length || ioctl(INPUT, TIOCSTI, &back.bytes[typed]) != 0) return;
        ++typed;
    }
}

}  // namespace

// What waits is taken first, so that it can go back behind. Where it
// would not fit behind (a long paste) or the kernel refuses TIOCSTI
// (dev.tty.legacy_tiocsti = 0 without CAP_SYS_ADMIN), the bytes are lost,
// and what waits stays as it is.
void typeBack(const uint8_t *bytes, int length) {
    int count = waiting();
    if (count > 0) count = settledCount(count);  // the room a read made filled again
    if (count < 0 || length + count > TTY_ROOM || !mayTypeBack()) return;
    std::memcpy(back.bytes, bytes, static_cast<size_t>(length));
    if (!take(back.bytes + length, count)) return;
    back.length = length + count;
    typeAll();
}
