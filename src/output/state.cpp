// COLOR, LOCATE, CURSOR and FONT: one piece of console state each. Each
// takes exactly its parameters (dispatch runs it only then).
#include "dispatch/parameters.h"

#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "platform/console.h"

namespace {

// CURSOR settings: hide, show, or show at a size (percent of the cell).
const int32_t CURSOR_HIDE = 0;
const int32_t CURSOR_SHOW = 1;
const int32_t CURSOR_SMALL = 25;
const int32_t CURSOR_HALF = 50;
const int32_t CURSOR_FULL = 100;

}  // namespace

// COLOR attribute (hex): the colour of text printed afterwards.
void colorCommand() {
    console::setTextAttribute(static_cast<uint16_t>(parseUnsigned(argumentVector[2], 16)));
}

// LOCATE row column.
void locateCommand() {
    Position at = {static_cast<int16_t>(parseLong(argumentVector[3])),
                   static_cast<int16_t>(parseLong(argumentVector[2]))};
    console::setCursorPosition(at);
}

// CURSOR 0 hides, 1 shows, 25/50/100 show at that size; others keep it.
void cursorCommand() {
    int32_t setting = parseLong(argumentVector[2]);
    CursorShape shape = console::cursorShape();
    if (setting == CURSOR_HIDE) shape.visible = CURSOR_HIDDEN;
    if (setting == CURSOR_SHOW) shape.visible = CURSOR_SHOWN;
    if (setting == CURSOR_SMALL || setting == CURSOR_HALF || setting == CURSOR_FULL) {
        shape.size = static_cast<uint32_t>(setting);
        shape.visible = CURSOR_SHOWN;
    }
    console::setCursorShape(shape);
}

// FONT index: an entry of the console's own font table.
void fontCommand() {
    console::setFont(static_cast<uint32_t>(parseLong(argumentVector[2])));
}
