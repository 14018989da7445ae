// The Unix program's entry: --help and --version, the run, the key code
// passed on in full, the exit status; and the clock.
#include <errno.h>
#include <time.h>

#include <cstdio>
#include <cstring>

#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "platform/console.h"
#include "platform/runtime.h"
#include "platform/terminal/terminal.h"

namespace {

// The status of a run whose report could not be written (a full disk, a
// closed descriptor). A pipe whose reader has gone ends the run by SIGPIPE,
// as it ends any program.
const int REPORT_LOST = 1;

// The key code KBD or _KBD ends with.
struct KeyResult {
    int32_t code;
    bool noted;
};

KeyResult keyResult;  // for standard output at the end

// The command list, one line a command.
void printUsage() {
    std::printf("conx %s: coloured text, the cursor, keys and the mouse for terminal scripts\n"
                "usage: conx COMMAND [PARAMETER...]   (COMMAND in any letter case)\n\n",
                CONX_VERSION);
    int width = 0;
    for (const CommandRow &row : COMMAND_ROWS) {
        int length = static_cast<int>(std::strlen(row.keyword) + 1 + std::strlen(row.usage));
        if (length > width) width = length;
    }
    for (const CommandRow &row : COMMAND_ROWS) {
        int length = std::printf("  %s %s", row.keyword, row.usage);
        std::printf("%*s%s\n", width + 4 - length, "", row.summary);
    }
    std::printf("\nThe manual: man conx\n");
}

// A Unix exit status keeps 8 bits, too few for key codes 256-418: KBD and
// _KBD print the full code when standard output is not a terminal
// (key=$(conx KBD) gives 327 for Up).
void printNotedKeyCode() {
    char text[16];
    int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(keyResult.code));
    if (keyResult.noted && !screenIsTerminal) writeReport(text, length);
}

}  // namespace

// The status is the key code's low 8 bits, or REPORT_LOST when a report
// could not be written; not for KBD and _KBD, whose result is the key in
// the status, which a lost copy of it on standard output leaves as it is.
// Reports leave only after the terminal is given back: a script reading
// them through `< <(conx INPUTHIT 0)` goes on as soon as they arrive, and
// its own stty must come after conx's.
int main(int argc, char **argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) return printUsage(), 0;
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) return std::printf("conx %s\n", CONX_VERSION), 0;
    prepareTerminal();
    int32_t code = runCommandLine(argc, argv, 0);
    typeBackUnused();
    leaveRawMode();
    printNotedKeyCode();
    if (!sendReport() && !keyResult.noted) return REPORT_LOST;
    return code & 0xFF;
}

namespace console {

void noteKeyCode(int32_t code) {
    keyResult.code = code;
    keyResult.noted = true;
}

// ---- Clock -------------------------------------------------------------------------------

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
