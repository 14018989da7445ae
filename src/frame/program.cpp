// Start-up and dispatch: one run, at most one command.
#include "frame/program.h"

#include <cstring>

#include "frame/commands.h"
#include "platform/console.h"

int argumentCount;
char **argumentVector;
int32_t exitCode;
void (*runningCommand)();

namespace {

struct CommandEntry {
    const char *keyword;  // upper case, matched exactly
    void (*handler)();
};

// Searched top to bottom; the first exact match runs.
const CommandEntry CommandTable[] = {
    // keyword     handler
    {"PRINT",      printCommand},
    {"COLOR",      colorCommand},
    {"LOCATE",     locateCommand},
    {"_KBD",       pollKey},
    {"KBD",        readKey},
    {"MOUSE",      mouseCommand},
    {"INPUTHIT",   inputHitCommand},
    {"TIME",       timeCommand},
    {"SLEEP",      sleepCommand},
    {"CURSOR",     cursorCommand},
    {"FONT",       fontCommand},
};

}  // namespace

void dispatchCommand() {
    if (argumentCount < 2) return;
    char *keyword = argumentVector[1];
    console::upperCaseInPlace(keyword);
    for (const CommandEntry &entry : CommandTable) {
        if (std::strcmp(keyword, entry.keyword) == 0) {
            runningCommand = entry.handler;
            entry.handler();
            return;
        }
    }
}

int32_t runCommandLine(int count, char **vector, int32_t buildStatus) {
    argumentCount = count;
    argumentVector = vector;
    exitCode = buildStatus;
    if (exitCode == 0) dispatchCommand();
    return exitCode;
}
