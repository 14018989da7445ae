// Fuzz target: INPUTHIT's report on arbitrary input event records.
//
// Input bytes: flags (bit 0 input is not a console; bits 1-2 the mode
// parameter: none, "0", "1", or the text at the end of the input), the
// starting input mode (4 bytes), keystroke codes (a count mod 9, then
// the codes), then whole event records to the end: a raw 16-bit type,
// 16 payload bytes and the number of polls before the event arrives
// (mod 8). Checked: the report line is exactly what the rules make of the
// first event and the key read, one line or none; the mode is the one
// INPUTHIT sets; the queue is empty afterwards; the wait of mode 1 ends
// as soon as the first event arrives; nothing else changes.
#include <cstdlib>

#include "frame/numbers.h"
#include "harness.h"

namespace {

const int MAX_KEYS = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ByteReader in = {data, size};
    uint8_t flags = in.byte();
    resetMemoryConsole();
    MemoryConsole &mc = memoryConsole;
    mc.inputIsConsole = !(flags & 1);
    mc.inputMode = in.u32();
    int keys = in.byte() % (MAX_KEYS + 1);
    for (int i = 0; i < keys; ++i) queueKeyCodes(in.byte());
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
    startLog();
    int32_t code = runArguments(args, false);

    std::string report;
    int32_t wantCode = 0;
    std::vector<int> keysLeft(before.keys, before.keys + before.keyCount);
    if (before.inputIsConsole) {
        int arrives = before.eventCount ? before.events[0].arrivesAfterCounts : 1 << 30;
        if (arrives <= 1 || wait) {
            if (!keysLeft.empty()) wantCode = modelReadKey(keysLeft);
            report = modelReport(before.events[0].event, wantCode);
        }
        uint32_t mode = (before.inputMode | ENABLE_MOUSE_INPUT_FLAG) &
                        ~(ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG);
        CHECK(mc.inputMode == mode, "mode %#x, want %#x", mc.inputMode, mode);
        CHECK(mc.eventCount == 0 && mc.keyCount == 0, "%d events and %d keys left", mc.eventCount,
              mc.keyCount);
        int sleeps = mc.sleepCalls;
        CHECK(sleeps == (wait && arrives > 1 ? arrives - 1 : 0), "%d sleeps for an event at poll %d",
              sleeps, arrives);
    } else {
        CHECK(mc.inputMode == before.inputMode, "mode changed without a console");
        CHECK(mc.eventCount == before.eventCount && mc.keyCount == before.keyCount,
              "input taken without a console");
        CHECK(mc.sleepCalls <= 1, "waited without a console");
    }
    CHECK(mc.output == report, "printed \"%s\", the rules give \"%s\"", mc.output.c_str(), report.c_str());
    // One line: the only line end is the last byte, or the key character
    // before it when that is itself a line feed (Ctrl+J gives key code 10).
    size_t lineEnd = mc.output.find('\n');
    CHECK(mc.output.empty() || (mc.output.back() == '\n' && lineEnd + 2 >= mc.output.size()),
          "not exactly one report line");
    CHECK(code == wantCode, "exit code %d, want %d", code, wantCode);
    checkUnchangedExcept(before, mc,
                         MAY_SET_MODE | MAY_TAKE_EVENTS | MAY_TAKE_KEYS | MAY_PRINT | MAY_SLEEP,
                         "INPUTHIT");
    return 0;
}
