// Fuzz target: INPUTHIT on arbitrary event records.
//
// Input bytes: flags (bit 0 input is not a console; bits 1-2 the mode
// parameter: none, "0", "1", or the text at the end of the input), the
// starting input mode (4 bytes), keystrokes (a count mod 9, then per
// keystroke an index into KEYSTROKES), then whole event records to the
// end: a raw 16-bit type, 16 payload bytes and the number of polls before
// the event arrives (mod 8). The report's exact values for each kind of
// event are pinned by the unit tests; here, for any record: one line of
// five fields or nothing; the key code is the first keystroke's and the
// exit code, the character its low byte or a blank; row, column and
// buttons are the record's own or the -1 / -2 markers, all three -2 or
// none; the mode is the one INPUTHIT sets; the queue is empty afterwards;
// the wait of mode 1 ends as soon as the first event arrives; nothing else
// changes.
#include <cstdio>

#include "dispatch/parameters.h"
#include "harness.h"

namespace {

const int MAX_KEYS = 8;

void checkReport(const std::string &report, const InputEvent &first, int32_t keyCode) {
    checkOneLine(report);
    long row, column, buttons, code;
    int fields = std::sscanf(report.c_str(), "%ld %ld %ld %ld", &row, &column, &buttons, &code);
    char want = static_cast<char>(keyCode != 0 ? keyCode & 0xFF : ' ');
    CHECK(fields >= 4 && code == keyCode, "report \"%s\" for key code %d", report.c_str(), keyCode);
    CHECK(report[report.size() - 2] == want, "report \"%s\": character is not %#x", report.c_str(),
          want & 0xFF);
    MouseRecord raw = mouseRecord(first);
    auto oneOf = [](long value, long own) { return value == own || value == -1 || value == -2; };
    CHECK(oneOf(row, raw.row) && oneOf(column, raw.column) &&
              oneOf(buttons, static_cast<int32_t>(raw.buttons)),
          "report \"%s\" is neither the record's values nor the markers", report.c_str());
    bool focus = row == -2 && column == -2 && buttons == -2;
    CHECK(focus || ((row != -2 || raw.row == -2) && (column != -2 || raw.column == -2) &&
                    (buttons != -2 || static_cast<int32_t>(raw.buttons) == -2)),
          "report \"%s\": a lone -2", report.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    uint8_t flags = in.byte();
    resetMemoryConsole();
    MemoryConsole &mc = memoryConsole;
    mc.sleepLimit = SLEEP_LIMIT;
    mc.inputIsConsole = !(flags & 1);
    mc.inputMode = in.u32();
    int keys = in.byte() % (MAX_KEYS + 1);
    int32_t firstCode = 0;
    for (int i = 0; i < keys; ++i) {
        const Keystroke &k = KEYSTROKES[in.byte() % KEYSTROKE_COUNT];
        queueKeyCodes(k.first, k.second);
        if (i == 0) firstCode = k.code;
    }
    std::vector<std::string> args = {"INPUTHIT"};
    int modeChoice = (flags >> 1) & 3;
    if (modeChoice == 1) args.push_back("0");
    if (modeChoice == 2) args.push_back("1");
    while (in.size >= 19 && mc.eventCount < MEMORY_MAX_EVENTS) {
        InputEvent event = {};
        event.type = in.u16();
        for (uint8_t &b : event.payload) b = in.byte();
        queueEvent(event, in.byte() % 8);
    }
    if (modeChoice == 3) args.push_back(in.rest());
    bool wait = args.size() > 1 && parseLong(args[1].c_str()) == 1;
    if (wait && mc.inputIsConsole && mc.eventCount == 0) return 0;  // the documented endless wait

    static MemoryConsole before;
    before = mc;
    int32_t code = runConx(args);

    if (before.inputIsConsole) {
        int arrives = before.eventCount ? before.events[0].arrivesAfterCounts : 1 << 30;
        bool reported = arrives <= 1 || wait;
        if (reported) checkReport(mc.output, before.events[0].event, firstCode);
        else CHECK(mc.output.empty(), "printed \"%s\" with nothing pending", mc.output.c_str());
        CHECK(code == (reported ? firstCode : 0), "exit code %d", code);
        checkInputHitMode(before.inputMode, mc.inputMode);
        CHECK(mc.eventCount == 0 && mc.keyCount == 0, "%d events and %d keys left", mc.eventCount,
              mc.keyCount);
        int sleeps = mc.sleepCalls;
        CHECK(sleeps == (wait && arrives > 1 ? arrives - 1 : 0), "%d sleeps for an event at poll %d",
              sleeps, arrives);
    } else {
        CHECK(mc.output.empty() && code == 0, "reported without a console");
        CHECK(mc.eventCount == before.eventCount && mc.keyCount == before.keyCount,
              "input taken without a console");
        CHECK(mc.sleepCalls <= 1, "waited without a console");
    }
    checkUnchangedExcept(before, mc,
                         SETS_INPUT_MODE | TAKES_EVENTS | TAKES_KEYS | PRINTS | SLEEPS,
                         "INPUTHIT");
    return 0;
}
