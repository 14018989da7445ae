// MOUSE and INPUTHIT: reading the console's input events.
#include "dispatch/parameters.h"

#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "platform/console.h"

namespace {

// Button states beyond this carry wheel motion in their upper half.
const int32_t BUTTONS_LIMIT = 4095;
// INPUTHIT's mode argument asking to wait for input.
const int32_t WAIT_FOR_INPUT = 1;

// A press, or a move or double-click with a button held; never a release
// (0) and never the wheel (upper bits set, so negative or large).
bool isButtonDown(const InputEvent &event) {
    int32_t buttons = static_cast<int32_t>(mouseRecord(event).buttons);
    return event.type == MOUSE_EVENT_TYPE && buttons > 0 && buttons < 5;
}

// Prints "row column buttons key char" for the first pending event, after
// reading a waiting key into exitCode. The event stays queued. The mouse
// fields are read whatever the type: for a key event they hold the halves
// of "key down" and the repeat count with the virtual key.
void reportInputEvent() {
    InputEvent event = {};
    if (!console::peekInputEvent(&event)) return;
    if (console::keyWaiting()) readKey();
    MouseRecord fields = mouseRecord(event);
    int32_t buttons = static_cast<int32_t>(fields.buttons);
    int32_t column = fields.column;
    int32_t row = fields.row;
    int keyChar = exitCode != 0 ? exitCode : ' ';
    // A key event's "position" is its key-down flag: every key reports -1s.
    if (event.type == KEY_EVENT_TYPE &&
        ((column == 0 && row == 0) || (column == 1 && row == 0) || exitCode > 0))
        row = column = buttons = -1;
    // Focus events, and any type beyond them (none lies between menu and focus).
    if (event.type >= FOCUS_EVENT_TYPE) row = column = buttons = -2;
    if (buttons > BUTTONS_LIMIT || buttons < -BUTTONS_LIMIT) row = column = -1;
    console::printOut("%d %d %d %d %c\n", row, column, buttons, exitCode, keyChar);
}

}  // namespace

// Waits for a mouse button and prints "row column buttons". Every event
// read before it, keystrokes included, is dropped. The mode is restored.
void mouseCommand() {
    uint32_t oldMode;
    if (!console::inputMode(&oldMode)) return;  // no console: nothing could arrive
    // Mouse events on; drags must not start a selection (quick edit off,
    // which needs the extended flags) and Ctrl+C comes in as input.
    console::setInputMode((oldMode | ENABLE_MOUSE_INPUT_FLAG | ENABLE_EXTENDED_FLAGS_FLAG) &
                          ~(ENABLE_PROCESSED_INPUT_FLAG | ENABLE_QUICK_EDIT_MODE_FLAG));
    InputEvent event;
    while (console::readInputEvent(&event)) {
        if (isButtonDown(event)) {
            MouseRecord click = mouseRecord(event);
            console::printOut("%d %d %d", click.row, click.column, static_cast<int32_t>(click.buttons));
            break;
        }
    }
    console::setInputMode(oldMode);
}

// Polls (mode 1: waits for) input, reports the first event with a waiting
// key, then discards everything pending. The mode it sets stays set, so
// a game loop's clicks keep arriving between calls.
void inputHitCommand() {
    uint32_t mode;
    if (console::inputMode(&mode))
        console::setInputMode((mode | ENABLE_MOUSE_INPUT_FLAG) &
                              ~(ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG));
    uint32_t pending = 0;
    bool counted = console::countInputEvents(&pending);
    int32_t wait = argumentCount > 2 ? parseLong(argumentVector[2]) : 0;
    if (wait == WAIT_FOR_INPUT) {
        // A failing count ends the wait: input that is not a console never fills.
        while (counted && pending == 0) {
            console::awaitInput();
            counted = console::countInputEvents(&pending);
        }
    }
    if (counted && pending != 0) reportInputEvent();
    console::flushInputEvents();
}
