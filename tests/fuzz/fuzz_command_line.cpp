// Fuzz target: a whole conx command line on the in-memory console.
//
// Input bytes, front to back (see make_seeds.py):
//   flags      bit 0 input is not a console; bits 1-2 screen size (80x25,
//              1x1, 10x5, 200x100); bits 3-4 code page (437, 850, 1252,
//              65001); bit 5 cursor hidden; bit 6 the input mode follows
//              as 4 bytes (else 0x1F7)
//   keys       a count (mod 17), then that many keystroke codes
//   events     a count (mod 9), then per event: a kind byte (below 250: key,
//              mouse, buffer size, menu, focus by kind % 5; else a raw
//              16-bit type follows), 16 payload bytes, and the number of
//              event counts before it arrives (mod 8)
//   arguments  the rest, split at NUL bytes: the keyword, then the
//              parameters. A keyword of one byte below 44 stands for
//              keyword (byte % 11) of the table, in upper, lower or mixed
//              case. A parameter starting 01 02 n is a long one: the bytes
//              after n repeated to (n + 1) * 128 bytes (up to 32 KiB).
//
// The line runs twice from the same console, drawing cell by cell and
// grouped; both must leave the same console. Each run is checked against
// the documented rules of its command: the cells PRINT writes, the report
// MOUSE or INPUTHIT prints, the state each command may change and nothing
// else, the code page back after PRINT, the input mode back after MOUSE,
// the queue empty after INPUTHIT.
#include <cstdlib>
#include <cstring>

#include "frame/numbers.h"
#include "harness.h"

namespace {

const char *const KEYWORDS[] = {"PRINT", "COLOR", "LOCATE", "_KBD", "KBD", "MOUSE",
                                "INPUTHIT", "TIME", "SLEEP", "CURSOR", "FONT"};
const int KEYWORD_COUNT = 11;
const int SCREEN_SIZES[4][2] = {{80, 25}, {1, 1}, {10, 5}, {MEMORY_MAX_COLUMNS, MEMORY_MAX_ROWS}};
const uint32_t CODE_PAGES[4] = {437, 850, 1252, 65001};
const uint16_t EVENT_KINDS[5] = {KEY_EVENT_TYPE, MOUSE_EVENT_TYPE, WINDOW_BUFFER_SIZE_EVENT_TYPE,
                                 MENU_EVENT_TYPE, FOCUS_EVENT_TYPE};
const int MAX_KEYS = 16;
const int MAX_EVENTS = 8;

void setUpConsole(ByteReader &in) {
    uint8_t flags = in.byte();
    const int *size = SCREEN_SIZES[(flags >> 1) & 3];
    resetMemoryConsole(size[0], size[1]);
    MemoryConsole &mc = memoryConsole;
    mc.inputIsConsole = !(flags & 1);
    mc.codePage = CODE_PAGES[(flags >> 3) & 3];
    mc.cursorShape.visible = !(flags & 32);
    if (flags & 64) mc.inputMode = in.u32();
    int keys = in.byte() % (MAX_KEYS + 1);
    for (int i = 0; i < keys; ++i) queueKeyCodes(in.byte());
    int events = in.byte() % (MAX_EVENTS + 1);
    for (int i = 0; i < events; ++i) {
        InputEvent event = {};
        uint8_t kind = in.byte();
        event.type = kind < 250 ? EVENT_KINDS[kind % 5] : in.u16();
        for (uint8_t &b : event.payload) b = in.byte();
        queueEvent(event, in.byte() % 8);
    }
}

std::string expandParameter(const std::string &piece) {
    if (piece.size() < 3 || piece[0] != '\x01' || piece[1] != '\x02') return piece;
    size_t length = (static_cast<uint8_t>(piece[2]) + 1u) * 128u;
    std::string unit = piece.size() > 3 ? piece.substr(3) : std::string("x");
    std::string text;
    while (text.size() < length) text += unit;
    text.resize(length);
    return text;
}

std::vector<std::string> readArguments(ByteReader &in) {
    std::vector<std::string> args;
    if (in.size == 0) return args;
    std::string rest = in.rest();
    size_t start = 0;
    for (;;) {
        size_t end = rest.find('\0', start);
        args.push_back(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string &keyword = args[0];
    if (keyword.size() == 1 && static_cast<uint8_t>(keyword[0]) < 4 * KEYWORD_COUNT) {
        int n = static_cast<uint8_t>(keyword[0]);
        keyword = KEYWORDS[n % KEYWORD_COUNT];
        for (size_t i = 0; i < keyword.size(); ++i) {
            bool lower = n / KEYWORD_COUNT == 1 || (n / KEYWORD_COUNT == 2 && i % 2);
            if (lower && keyword[i] >= 'A' && keyword[i] <= 'Z') keyword[i] = static_cast<char>(keyword[i] + 32);
        }
    }
    for (size_t i = 1; i < args.size(); ++i) args[i] = expandParameter(args[i]);
    return args;
}

int16_t decimal16(const std::string &s) { return static_cast<int16_t>(parseUnsigned(s.c_str(), 10)); }
uint16_t hex16(const std::string &s) { return static_cast<uint16_t>(parseUnsigned(s.c_str(), 16)); }

// What one run of the command must have done, by the rules.
struct Expected {
    unsigned allowed = 0;
    int32_t exitCode = 0;
    std::vector<LoggedCell> &writes;  // PRINT's visible cell writes
    std::vector<int> keysLeft;
};

std::vector<int> queuedKeys(const MemoryConsole &mc) { return std::vector<int>(mc.keys, mc.keys + mc.keyCount); }

void expectPrint(const std::vector<std::string> &args, Expected &e) {
    e.allowed = MAY_DRAW | MAY_MOVE_CURSOR | MAY_TAKE_KEYS;
    if (args.size() + 1 >= 4) {
        ModelCursor cursor = {decimal16(args[2]), decimal16(args[2]), decimal16(args[1]), 0};
        for (size_t i = 3; i + 1 < args.size(); i += 2) {
            cursor.attribute = hex16(args[i]);
            for (int c : modelDecode(args[i + 1].c_str())) modelPutCell(cursor, c, e.writes);
        }
    }
}

void checkRun(const std::vector<std::string> &args, const MemoryConsole &before, int32_t code,
              bool oneCellAtATime) {
    const MemoryConsole &mc = memoryConsole;
    int count = static_cast<int>(args.size()) + 1;  // program included
    std::string keyword = args.empty() ? "" : foldedKeyword(args[0]);
    const char *what = keyword.c_str();
    static std::vector<LoggedCell> writes;  // kept: long texts would allocate per run
    writes.clear();
    Expected e = {0, 0, writes, queuedKeys(before)};
    std::string output;      // what the run must print
    bool keyPoll = false;    // the command ends with the key poll
    if (keyword == "PRINT") {
        expectPrint(args, e);
        keyPoll = true;
    } else if (keyword == "_KBD") {
        e.allowed = MAY_MOVE_CURSOR | MAY_TAKE_KEYS;
        keyPoll = true;
    } else if (keyword == "KBD") {
        e.allowed = MAY_TAKE_KEYS;
        e.exitCode = modelReadKey(e.keysLeft);
    } else if (keyword == "COLOR") {
        e.allowed = MAY_COLOR;
        if (count == 3) CHECK(mc.textAttribute == hex16(args[1]), "COLOR: attribute %#x", mc.textAttribute);
    } else if (keyword == "LOCATE") {
        e.allowed = MAY_MOVE_CURSOR;
        if (count == 4) {
            int16_t row = static_cast<int16_t>(parseLong(args[1].c_str()));
            int16_t column = static_cast<int16_t>(parseLong(args[2].c_str()));
            bool onScreen = row >= 0 && column >= 0 && row < mc.rows && column < mc.columns;
            if (onScreen)
                CHECK(mc.cursor.row == row && mc.cursor.column == column, "LOCATE: cursor not moved");
            else
                e.allowed = 0;
        } else {
            e.allowed = 0;
        }
    } else if (keyword == "CURSOR") {
        e.allowed = MAY_SHAPE_CURSOR;
        if (count == 3) {
            long setting = parseLong(args[1].c_str());
            CursorShape want = before.cursorShape;
            if (setting == 0) want.visible = false;
            if (setting == 1) want.visible = true;
            if (setting == 25 || setting == 50 || setting == 100) want = CursorShape{static_cast<uint32_t>(setting), true};
            CHECK(mc.cursorShape.size == want.size && mc.cursorShape.visible == want.visible,
                  "CURSOR %ld: shape %u/%d", setting, mc.cursorShape.size, mc.cursorShape.visible);
        } else {
            e.allowed = 0;
        }
    } else if (keyword == "FONT") {
        e.allowed = count == 3 ? MAY_SET_FONT : 0;
        if (count == 3)
            CHECK(mc.font == static_cast<uint32_t>(parseLong(args[1].c_str())), "FONT: index %u", mc.font);
    } else if (keyword == "SLEEP") {
        e.allowed = MAY_SLEEP;
        int32_t ms = count == 3 ? static_cast<int32_t>(parseLong(args[1].c_str())) : -1;
        uint64_t slept = mc.sleptMilliseconds - before.sleptMilliseconds;
        CHECK(slept == (ms >= 0 ? static_cast<uint64_t>(ms) : 0), "SLEEP: slept %llu ms",
              static_cast<unsigned long long>(slept));
    } else if (keyword == "TIME") {
        e.allowed = MAY_PRINT;
        const DateTime &t = before.now;
        for (int field : {t.dayOfWeek, t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds})
            output += (output.empty() ? "" : " ") + std::to_string(field);
    } else if (keyword == "MOUSE") {
        e.allowed = MAY_TAKE_EVENTS | MAY_PRINT;  // the mode must be back as it was
        if (before.inputIsConsole) {
            int taken = 0;
            for (; taken < before.eventCount; ++taken) {
                const InputEvent &ev = before.events[taken].event;
                int16_t column, row;
                int32_t buttons;
                std::memcpy(&column, ev.payload, 2);
                std::memcpy(&row, ev.payload + 2, 2);
                std::memcpy(&buttons, ev.payload + 4, 4);
                if (ev.type == MOUSE_EVENT_TYPE && buttons > 0 && buttons < 5) {
                    output = std::to_string(row) + " " + std::to_string(column) + " " + std::to_string(buttons);
                    ++taken;
                    break;
                }
            }
            CHECK(mc.eventCount == before.eventCount - taken, "MOUSE: %d events left, want %d",
                  mc.eventCount, before.eventCount - taken);
        } else {
            CHECK(mc.eventCount == before.eventCount, "MOUSE: took events without a console");
        }
    } else if (keyword == "INPUTHIT") {
        e.allowed = MAY_SET_MODE | MAY_TAKE_EVENTS | MAY_TAKE_KEYS | MAY_PRINT | MAY_SLEEP;
        if (before.inputIsConsole) {
            uint32_t mode = (before.inputMode | ENABLE_MOUSE_INPUT_FLAG) &
                            ~(ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG);
            CHECK(mc.inputMode == mode, "INPUTHIT: mode %#x, want %#x", mc.inputMode, mode);
            bool wait = count > 2 && parseLong(args[1].c_str()) == 1;
            int arrives = before.eventCount ? before.events[0].arrivesAfterCounts : 1 << 30;
            if (wait) {
                int sleeps = mc.sleepCalls - before.sleepCalls;
                CHECK(sleeps == (arrives > 1 ? arrives - 1 : 0), "INPUTHIT 1: %d sleeps for an event "
                      "arriving at poll %d", sleeps, arrives);
            }
            if (arrives <= 1 || wait) {
                e.exitCode = e.keysLeft.empty() ? 0 : modelReadKey(e.keysLeft);
                output = modelReport(before.events[0].event, e.exitCode);
            }
            CHECK(mc.eventCount == 0 && mc.keyCount == 0, "INPUTHIT: the queue is not empty");
            e.keysLeft.clear();
        } else {
            CHECK(mc.inputMode == before.inputMode, "INPUTHIT: mode changed without a console");
        }
    } else {
        e.allowed = 0;  // no command: nothing at all
    }
    if (keyPoll) {
        CHECK(mc.cursor.column == 0 && mc.cursor.row == 0, "%s: cursor not home", what);
        if (!e.keysLeft.empty()) e.exitCode = modelReadKey(e.keysLeft);
    }
    if (!output.empty()) e.allowed |= MAY_PRINT;
    checkUnchangedExcept(before, mc, e.allowed, what);
    CHECK(code == e.exitCode, "%s: exit code %d, want %d", what, code, e.exitCode);
    CHECK(mc.output == before.output + output, "%s: printed \"%s\", want \"%s\"", what,
          mc.output.c_str(), output.c_str());
    CHECK(queuedKeys(mc) == e.keysLeft, "%s: %d keystrokes left, want %zu", what, mc.keyCount,
          e.keysLeft.size());
    if (keyword != "PRINT") return;
    if (oneCellAtATime) checkCellByCellLog(e.writes);
    else checkGroupedLogWithin(e.writes);
    checkScreen(before, e.writes, oneCellAtATime ? "PRINT cell by cell" : "PRINT grouped");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    setUpConsole(in);
    std::vector<std::string> args = readArguments(in);
    // INPUTHIT 1 waits for input without end, as documented, when none
    // ever comes: give it an event that arrives after a few polls.
    if (args.size() >= 2 && foldedKeyword(args[0]) == "INPUTHIT" &&
        parseLong(args[1].c_str()) == 1 && memoryConsole.inputIsConsole && memoryConsole.eventCount == 0)
        queueEvent(mouseEvent(3, 2, 0, 1), 4);

    static MemoryConsole before, byCell;
    before = memoryConsole;
    startLog();
    int32_t codeByCell = runArguments(args, true);
    checkRun(args, before, codeByCell, true);
    byCell = memoryConsole;

    memoryConsole = before;
    startLog();
    int32_t codeGrouped = runArguments(args, false);
    checkRun(args, before, codeGrouped, false);
    checkSameConsole(byCell, memoryConsole);
    return 0;
}
