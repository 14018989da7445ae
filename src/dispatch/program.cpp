// Start-up and dispatch: one run, at most one command.
#include "dispatch/program.h"

#include <cstring>

#include "dispatch/commands.h"
#include "platform/console.h"

int argumentCount;
char **argumentVector;
int32_t exitCode;

namespace {

const int FIRST_PARAMETER = 2;  // argument index: 0 the program, 1 the keyword

// What dispatch needs of a row of the command list.
struct CommandEntry {
    const char *keyword;  // upper case, matched exactly
    void (*handler)();
    signed char parameters;  // how many it takes, or ANY_PARAMETERS
    bool keyIsResult;        // the key code read is the whole result
};

#define CONX_ENTRY(keyword, handler, parameters, effects, ...) \
    {keyword, handler, parameters, ((effects) & KEY_IS_RESULT) != 0},
// Searched top to bottom; the first exact match runs.
const CommandEntry CommandTable[] = {CONX_COMMANDS(CONX_ENTRY)};
#undef CONX_ENTRY

}  // namespace

void dispatchCommand() {
    if (argumentCount < 2) return;
    char *keyword = argumentVector[1];
    console::upperCaseInPlace(keyword);
    for (const CommandEntry &entry : CommandTable) {
        if (std::strcmp(keyword, entry.keyword) != 0) continue;
        if (entry.parameters == ANY_PARAMETERS || argumentCount - FIRST_PARAMETER == entry.parameters)
            entry.handler();
        // KBD's and _KBD's key code may reach the caller another way besides
        // the exit code; PRINT and INPUTHIT read keys for results of their own.
        if (entry.keyIsResult) console::noteKeyCode(exitCode);
        return;
    }
}

int32_t runCommandLine(int count, char **vector, int32_t buildStatus) {
    argumentCount = count;
    argumentVector = vector;
    exitCode = buildStatus;
    if (exitCode == 0) dispatchCommand();
    return exitCode;
}
