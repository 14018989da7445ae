// Key reader: one keystroke becomes one key code in exitCode, so a script
// gets the key as the exit code.
#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "platform/console.h"

namespace {

// First codes that announce a second one (function, arrow and other keys
// without a character). The second code is stored plus PAIR_OFFSET.
const int EXTENDED_PREFIX = 0;
const int EXTENDED_PREFIX_GREY = 224;
const int PAIR_OFFSET = 255;

}  // namespace

void readKey() {
    exitCode = console::readKeyCode();
    if (exitCode == EXTENDED_PREFIX || exitCode == EXTENDED_PREFIX_GREY)
        exitCode = console::readKeyCode() + PAIR_OFFSET;
}

void pollKey() {
    console::setCursorPosition(Position{0, 0});
    if (console::keyWaiting()) readKey();
}
