// Key reader: one keystroke becomes one key code in exitCode, so a script
// gets the key as the exit code.
#include "frame/commands.h"
#include "frame/program.h"
#include "platform/console.h"

namespace {

// First codes that announce a second one (function, arrow and other keys
// without a character). The second code is stored plus PAIR_OFFSET.
const int EXTENDED_PREFIX = 0;
const int EXTENDED_PREFIX_GREY = 224;
const int PAIR_OFFSET = 255;

// KBD's and _KBD's key code is the command's whole result: the platform
// may pass it on besides the exit code. PRINT and INPUTHIT read keys for a
// result of their own.
void noteResult() {
    if (runningCommand == readKey || runningCommand == pollKey) console::noteKeyCode(exitCode);
}

}  // namespace

void readKey() {
    exitCode = console::readKeyCode();
    if (exitCode == EXTENDED_PREFIX || exitCode == EXTENDED_PREFIX_GREY)
        exitCode = console::readKeyCode() + PAIR_OFFSET;
    noteResult();
}

void pollKey() {
    console::setCursorPosition(Position{0, 0});
    if (console::keyWaiting()) readKey();
    noteResult();
}
