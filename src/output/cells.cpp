// The text cell writer. putCell tracks PRINT's position itself and never
// moves the console cursor; each visible cell goes to the console on its
// own, in text order (the platform may batch them).
#include "output/text.h"

TextCursor textCursor;

namespace {

const int TRANSPARENT = 0;
const int NEW_LINE = 10;

}  // namespace

int putCell(int c) {
    TextCursor &t = textCursor;
    if (c == TRANSPARENT) {
        t.column = static_cast<int16_t>(t.column + 1);
        return c;
    }
    if (c == NEW_LINE) {
        t.row = static_cast<int16_t>(t.row + 1);
        t.column = t.startColumn;
        return c;
    }
    if (t.column >= 0 && t.row >= 0)
        console::writeCell(Position{t.column, t.row}, Cell{static_cast<uint8_t>(c), t.attribute});
    t.column = static_cast<int16_t>(t.column + 1);
    return c;
}

void putCharacter(Character character) {
    TextCursor &t = textCursor;
    if (t.column >= 0 && t.row >= 0)
        console::writeCharacter(Position{t.column, t.row}, character, t.attribute);
    t.column = static_cast<int16_t>(t.column + character.width);
}
