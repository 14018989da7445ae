// Fuzz target: a whole conx command line on the in-memory console.
//
// Input bytes, front to back (see make_seeds.py):
//   flags      bit 0 input is not a console; bits 1-2 screen size (80x25,
//              1x1, 10x5, 200x100); bits 3-4 unused; bit 5 cursor hidden;
//              bit 6 the input mode follows as 4 bytes (else 0x1F7); bit 7
//              the last keystroke's second code never comes
//   keys       a count (mod 9), then per keystroke an index into KEYSTROKES
//   events     a count (mod 9), then per event: an index into EVENT_KINDS,
//              a column and a row (16 bits each) and the number of event
//              counts before it arrives (mod 8)
//   arguments  the rest, split at NUL bytes: the keyword, then the
//              parameters. A keyword of one byte below 4 * COMMAND_COUNT
//              stands for keyword (byte % COMMAND_COUNT) of the command
//              list, in upper, lower or mixed case (byte / COMMAND_COUNT
//              0, 1, 2). A parameter starting 01 02 n is a long one: the bytes
//              after n repeated to (n + 1) * 32 bytes (up to 8 KiB; the
//              bad-input matrix runs 32,000-byte texts on the programs).
//
// Each run is checked against what the README's Commands section says of
// its keyword: its row of the command list (src/dispatch/commands.h) gives
// the state it may change and nothing else; the models below, of the
// commands whose result can be told another way, give its exit code and
// report from the literal tables of keystrokes and event kinds, the cells
// PRINT writes against a model of the escape decoder, the input mode back
// after MOUSE, the queue empty after INPUTHIT.
#include <cstring>

#include "dispatch/parameters.h"
#include "harness.h"

namespace {

const int SCREEN_SIZES[4][2] = {{80, 25}, {1, 1}, {10, 5}, {MEMORY_MAX_COLUMNS, MEMORY_MAX_ROWS}};
const int MAX_KEYS = 8;
const int MAX_EVENTS = 8;

// ---- Input events, with what MOUSE and INPUTHIT make of each -------------------

enum Shown {
    POSITION,  // INPUTHIT shows row, column and buttons as they are
    KEY,       // -1 -1 -1
    WHEEL,     // -1 -1 and the raw buttons
    FOCUS,     // -2 -2 -2
};

struct EventKind {
    uint16_t type;
    uint32_t buttons;  // mouse: the button state
    uint32_t flags;    // mouse: moved 1, double click 2, wheel 4
    bool down;         // key
    int click;         // MOUSE reports it with these buttons; 0: MOUSE skips it
    Shown shown;
};

const EventKind EVENT_KINDS[] = {
    // type                          buttons      flags down   click shown
    {KEY_EVENT_TYPE,                 0,           0,    true,  0,    KEY},       // key pressed
    {KEY_EVENT_TYPE,                 0,           0,    false, 0,    KEY},       // key let go
    {MOUSE_EVENT_TYPE,               1,           0,    false, 1,    POSITION},  // left
    {MOUSE_EVENT_TYPE,               2,           0,    false, 2,    POSITION},  // right
    {MOUSE_EVENT_TYPE,               3,           0,    false, 3,    POSITION},  // both
    {MOUSE_EVENT_TYPE,               4,           0,    false, 4,    POSITION},  // middle
    {MOUSE_EVENT_TYPE,               1,           1,    false, 1,    POSITION},  // drag
    {MOUSE_EVENT_TYPE,               2,           2,    false, 2,    POSITION},  // double click
    {MOUSE_EVENT_TYPE,               5,           0,    false, 0,    POSITION},  // three buttons
    {MOUSE_EVENT_TYPE,               0,           0,    false, 0,    POSITION},  // release
    {MOUSE_EVENT_TYPE,               0,           1,    false, 0,    POSITION},  // bare move
    {MOUSE_EVENT_TYPE,               0x00780000,  4,    false, 0,    WHEEL},     // wheel forward
    {MOUSE_EVENT_TYPE,               0xFF880001,  4,    false, 0,    WHEEL},     // ... back, left held
    {FOCUS_EVENT_TYPE,               0,           0,    true,  0,    FOCUS},
    {WINDOW_BUFFER_SIZE_EVENT_TYPE,  0,           0,    false, 0,    POSITION},  // rows columns 0
};
const int EVENT_KIND_COUNT = sizeof EVENT_KINDS / sizeof EVENT_KINDS[0];

struct QueuedEvent {
    const EventKind *kind;
    int16_t column, row;
};

InputEvent makeEvent(const QueuedEvent &q) {
    const EventKind &k = *q.kind;
    if (k.type == KEY_EVENT_TYPE) return keyEvent(KeyRecord{k.down, 'A', 'a'});
    if (k.type == FOCUS_EVENT_TYPE) return focusEvent(k.down);
    if (k.type == WINDOW_BUFFER_SIZE_EVENT_TYPE) return bufferSizeEvent(BufferSize{q.column, q.row});
    return mouseEvent(MouseRecord{q.column, q.row, k.buttons, 0, k.flags});
}

// ---- One fuzz input ------------------------------------------------------------------

struct Case {
    std::vector<std::string> args;
    std::vector<const Keystroke *> keystrokes;
    bool lastCut;  // the last keystroke's second code is missing
    std::vector<QueuedEvent> events;
    std::vector<int> arrivals;
};

void setUpConsole(ByteReader &in, Case &c) {
    uint8_t flags = in.byte();
    const int *size = SCREEN_SIZES[(flags >> 1) & 3];
    resetMemoryConsole(size[0], size[1]);
    MemoryConsole &mc = memoryConsole;
    mc.sleepLimit = SLEEP_LIMIT;
    mc.inputIsConsole = !(flags & 1);
    mc.cursorShape.visible = !(flags & 32);
    if (flags & 64) mc.inputMode = in.u32();
    int keys = in.byte() % (MAX_KEYS + 1);
    for (int i = 0; i < keys; ++i) c.keystrokes.push_back(&KEYSTROKES[in.byte() % KEYSTROKE_COUNT]);
    c.lastCut = (flags & 128) && !c.keystrokes.empty() && c.keystrokes.back()->second >= 0;
    for (size_t i = 0; i < c.keystrokes.size(); ++i) {
        bool cut = c.lastCut && i + 1 == c.keystrokes.size();
        queueKeyCodes(c.keystrokes[i]->first, cut ? -1 : c.keystrokes[i]->second);
    }
    int events = in.byte() % (MAX_EVENTS + 1);
    for (int i = 0; i < events; ++i) {
        QueuedEvent q = {&EVENT_KINDS[in.byte() % EVENT_KIND_COUNT], 0, 0};
        q.column = static_cast<int16_t>(in.u16());
        q.row = static_cast<int16_t>(in.u16());
        c.events.push_back(q);
        c.arrivals.push_back(in.byte() % 8);
        queueEvent(makeEvent(q), c.arrivals.back());
    }
}

std::string expandParameter(const std::string &piece) {
    if (piece.size() < 3 || piece[0] != '\x01' || piece[1] != '\x02') return piece;
    size_t length = (static_cast<uint8_t>(piece[2]) + 1u) * 32u;
    std::string text = piece.size() > 3 ? piece.substr(3) : std::string("x");
    while (text.size() < length) text += text;  // doubling: few appends
    text.resize(length);
    return text;
}

void readArguments(ByteReader &in, Case &c) {
    if (in.size == 0) return;
    std::string rest = in.rest();
    size_t start = 0;
    for (;;) {
        size_t end = rest.find('\0', start);
        c.args.push_back(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string &keyword = c.args[0];
    if (keyword.size() == 1 && static_cast<uint8_t>(keyword[0]) < 4 * COMMAND_COUNT) {
        int n = static_cast<uint8_t>(keyword[0]);
        keyword = COMMAND_ROWS[n % COMMAND_COUNT].keyword;
        for (size_t i = 0; i < keyword.size(); ++i) {
            bool lower = n / COMMAND_COUNT == 1 || (n / COMMAND_COUNT == 2 && i % 2);
            if (lower && keyword[i] >= 'A' && keyword[i] <= 'Z') keyword[i] = static_cast<char>(keyword[i] + 32);
        }
    }
    for (size_t i = 1; i < c.args.size(); ++i) c.args[i] = expandParameter(c.args[i]);
}

// ---- What each keyword must do ----------------------------------------------------

// What one run did and must have done.
struct Run {
    const Case &c;
    const MemoryConsole &before;
    int count;                // arguments, program included
    unsigned allowed;         // what the run may change
    int32_t exitCode;         // what it must end with
    std::string output;       // what it must print
    size_t keystrokesTaken;   // from the front of the queue
    bool allKeysTaken;
    bool keysUnmodelled;      // whatever it took is right (no model)
};

const MemoryConsole &after() { return memoryConsole; }
const std::string &arg(const Run &r, int i) { return r.c.args[static_cast<size_t>(i)]; }

// The key code that reading the first keystroke gives.
int32_t firstKeyCode(const Run &r) {
    if (r.c.keystrokes.empty()) return -1;  // no key can come
    return r.c.lastCut && r.c.keystrokes.size() == 1 ? CUT_PAIR_CODE : r.c.keystrokes[0]->code;
}

void takeKey(Run &r) {
    r.exitCode = firstKeyCode(r);
    r.keystrokesTaken = r.c.keystrokes.empty() ? 0 : 1;
}

void expectPrint(Run &r) {
    static std::vector<CellWrite> writes;  // kept: long texts would allocate per run
    writes.clear();
    if (r.count >= 4) {
        auto decimal16 = [](const std::string &s) { return static_cast<int16_t>(parseUnsigned(s.c_str(), 10)); };
        ModelCursor cursor = {decimal16(arg(r, 2)), decimal16(arg(r, 2)), decimal16(arg(r, 1)), 0};
        for (int i = 3; i + 1 < r.count - 1; i += 2) {
            cursor.attribute = static_cast<uint16_t>(parseUnsigned(arg(r, i).c_str(), 16));
            for (int ch : modelDecode(arg(r, i + 1).c_str())) modelPutCell(cursor, ch, writes);
        }
    }
    checkCells(r.before, writes, "PRINT");
    CHECK(after().cursor.column == 0 && after().cursor.row == 0, "PRINT: cursor not home");
    if (!r.c.keystrokes.empty()) takeKey(r);
}

void expectPollKey(Run &r) {
    CHECK(after().cursor.column == 0 && after().cursor.row == 0, "_KBD: cursor not home");
    if (!r.c.keystrokes.empty()) takeKey(r);
}

void expectReadKey(Run &r) { takeKey(r); }

void expectColor(Run &r) {
    uint16_t want = static_cast<uint16_t>(parseUnsigned(arg(r, 1).c_str(), 16));
    CHECK(after().textAttribute == want, "COLOR: attribute %#x, want %#x", after().textAttribute, want);
}

void expectLocate(Run &r) {
    int16_t row = static_cast<int16_t>(parseLong(arg(r, 1).c_str()));
    int16_t column = static_cast<int16_t>(parseLong(arg(r, 2).c_str()));
    bool onScreen = row >= 0 && column >= 0 && row < r.before.rows && column < r.before.columns;
    if (onScreen) CHECK(after().cursor.row == row && after().cursor.column == column, "LOCATE: not moved");
    else r.allowed = 0;  // the console ignores a position off the screen
}

void expectFont(Run &r) {
    uint32_t want = static_cast<uint32_t>(parseLong(arg(r, 1).c_str()));
    CHECK(after().font == want, "FONT: index %u, want %u", after().font, want);
}

void expectSleep(Run &r) {
    int32_t ms = parseLong(arg(r, 1).c_str());
    uint64_t slept = after().sleptMilliseconds - r.before.sleptMilliseconds;
    CHECK(slept == (ms >= 0 ? static_cast<uint64_t>(ms) : 0), "SLEEP %d: slept %llu ms", ms,
          static_cast<unsigned long long>(slept));
}

void expectTime(Run &r) {
    const DateTime &t = r.before.now;
    for (int field : {t.dayOfWeek, t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds})
        r.output += (r.output.empty() ? "" : " ") + std::to_string(field);
}

void expectMouse(Run &r) {
    if (!r.before.inputIsConsole) return;
    size_t taken = 0;
    while (taken < r.c.events.size()) {
        const QueuedEvent &q = r.c.events[taken++];
        if (q.kind->click) {
            r.output = std::to_string(q.row) + " " + std::to_string(q.column) + " " +
                       std::to_string(q.kind->click);
            break;
        }
    }
    CHECK(after().eventCount == r.before.eventCount - static_cast<int>(taken),
          "MOUSE: %d events left, want %zu", after().eventCount, r.c.events.size() - taken);
}

void expectInputHit(Run &r) {
    if (!r.before.inputIsConsole) return;
    checkInputHitMode(r.before.inputMode, after().inputMode);
    bool wait = r.count > 2 && parseLong(arg(r, 1).c_str()) == 1;
    int arrives = r.c.events.empty() ? 1 << 30 : r.c.arrivals[0];
    if (wait) {
        int sleeps = after().sleepCalls - r.before.sleepCalls;
        CHECK(sleeps == (arrives > 1 ? arrives - 1 : 0), "INPUTHIT 1: %d sleeps for an event "
              "arriving at count %d", sleeps, arrives);
    }
    if (arrives <= 1 || wait) {
        const QueuedEvent &q = r.c.events[0];
        int32_t buttons = static_cast<int32_t>(q.kind->buttons);
        std::string where;
        switch (q.kind->shown) {
        case POSITION: where = std::to_string(q.row) + " " + std::to_string(q.column) + " " + std::to_string(buttons); break;
        case KEY: where = "-1 -1 -1"; break;
        case WHEEL: where = "-1 -1 " + std::to_string(buttons); break;
        case FOCUS: where = "-2 -2 -2"; break;
        }
        if (!r.c.keystrokes.empty()) takeKey(r);
        r.output = where + " " + std::to_string(r.exitCode) + " ";
        r.output += static_cast<char>(r.exitCode != 0 ? r.exitCode & 0xFF : ' ');
        r.output += '\n';
    }
    CHECK(after().eventCount == 0, "INPUTHIT: %d events left", after().eventCount);
    r.allKeysTaken = true;
}

// The models, by handler. What a command may change, the parameters it
// takes and whether its result is the key code come from its row of the
// command list. CURSOR has none: its settings are the unit tests' literal
// cases, and here it may change the cursor's shape and nothing else.
struct Expectation {
    void (*handler)();
    void (*expect)(Run &);
};

const Expectation EXPECTATIONS[] = {
    {printCommand, expectPrint},       {pollKey, expectPollKey},         {readKey, expectReadKey},
    {colorCommand, expectColor},       {locateCommand, expectLocate},    {fontCommand, expectFont},
    {sleepCommand, expectSleep},       {timeCommand, expectTime},        {mouseCommand, expectMouse},
    {inputHitCommand, expectInputHit},
};

const Expectation *expectationOf(const CommandRow &row) {
    for (const Expectation &e : EXPECTATIONS)
        if (e.handler == row.handler) return &e;
    return nullptr;
}

// A command without a model is held to its row: no crash, nothing changed
// outside its effects, nothing printed unless it PRINTS, no key taken and
// exit code 0 unless it TAKES_KEYS. What it prints or takes is then its
// unit tests' to check.
void acceptWhatItMay(Run &r, const CommandRow &row, int32_t code) {
    if (row.effects & PRINTS) r.output = after().output;
    if (row.effects & TAKES_KEYS) {
        r.exitCode = code;
        r.keysUnmodelled = true;
    }
}

// KBD and _KBD note the key code for the Unix program's output.
void checkNotedKey(const Run &r, const CommandRow &row) {
    if (row.effects & KEY_IS_RESULT)
        CHECK(after().keyCodeNotes > 0 && after().notedKeyCode == r.exitCode,
              "%s: noted key code %d (%d notes), want %d", row.keyword, after().notedKeyCode,
              after().keyCodeNotes, r.exitCode);
    else
        CHECK(after().keyCodeNotes == 0, "%s: noted a key code", row.keyword);
}

void checkRun(const Case &c, const MemoryConsole &before, int32_t code) {
    std::string keyword = c.args.empty() ? "" : foldedKeyword(c.args[0]);
    Run r = {c, before, static_cast<int>(c.args.size()) + 1, 0, 0, "", 0, false, false};
    const CommandRow *row = nullptr;
    for (const CommandRow &k : COMMAND_ROWS)
        if (keyword == k.keyword) row = &k;
    if (row && (row->parameters == ANY_PARAMETERS || row->parameters == r.count - 2)) {
        r.allowed = row->effects;
        const Expectation *model = expectationOf(*row);
        if (model) model->expect(r);
        else acceptWhatItMay(r, *row, code);
        if (model || !(row->effects & TAKES_KEYS)) checkNotedKey(r, *row);
    }
    const char *what = keyword.c_str();
    if (!r.output.empty()) r.allowed |= PRINTS;
    checkUnchangedExcept(before, after(), r.allowed, what);
    CHECK(code == r.exitCode, "%s: exit code %d, want %d", what, code, r.exitCode);
    CHECK(after().output == r.output, "%s: printed \"%s\", want \"%s\"", what, after().output.c_str(),
          r.output.c_str());
    int keysLeft = 0;
    if (!r.allKeysTaken)
        for (size_t i = r.keystrokesTaken; i < c.keystrokes.size(); ++i)
            keysLeft += (c.keystrokes[i]->second >= 0 && !(c.lastCut && i + 1 == c.keystrokes.size())) ? 2 : 1;
    CHECK(r.keysUnmodelled || after().keyCount == keysLeft, "%s: %d key codes left, want %d", what,
          after().keyCount, keysLeft);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    static Case c;
    c = Case{};
    setUpConsole(in, c);
    readArguments(in, c);
    // INPUTHIT 1 waits for input without end, as documented, when none
    // ever comes: give it an event that arrives after a few counts.
    if (c.args.size() >= 2 && foldedKeyword(c.args[0]) == "INPUTHIT" &&
        parseLong(c.args[1].c_str()) == 1 && memoryConsole.inputIsConsole && c.events.empty()) {
        c.events.push_back(QueuedEvent{&EVENT_KINDS[10], 3, 2});
        c.arrivals.push_back(4);
        queueEvent(makeEvent(c.events.back()), 4);
    }
    static MemoryConsole before;
    before = memoryConsole;
    int32_t code = runConx(c.args);
    checkRun(c, before, code);
    return 0;
}
