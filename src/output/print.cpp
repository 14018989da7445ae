// PRINT row column attribute text [attribute text]...
// Draws coloured text straight into the screen buffer, then homes the
// cursor and returns a waiting key as the exit code.
#include "dispatch/parameters.h"

#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "output/text.h"
#include "platform/console.h"

namespace {

const int FIRST_PAIR = 4;  // argument index of the first attribute

int16_t decimal16(const char *text) {
    return static_cast<int16_t>(parseUnsigned(text, 10));
}

uint16_t hex16(const char *text) {
    return static_cast<uint16_t>(parseUnsigned(text, 16));
}

}  // namespace

void printCommand() {
    if (argumentCount >= FIRST_PAIR) {
        textCursor.column = decimal16(argumentVector[3]);
        textCursor.row = decimal16(argumentVector[2]);
        textCursor.startColumn = textCursor.column;
        // Pairs only: an attribute with no text after it is ignored.
        int i = FIRST_PAIR;
        for (; i < argumentCount - 1; i += 2) {
            textCursor.attribute = hex16(argumentVector[i]);
            writeEscapedText(argumentVector[i + 1]);
        }
        if (i > FIRST_PAIR) console::flushScreen();  // only a PRINT given a pair drew
    }
    pollKey();
}
