// The escape decoder: ordinary bytes pass through; a backslash takes up to
// two hex digits as a byte value (\0 transparent, \0A new line), 'n' as a
// new line, and any other character as itself (\\ is one backslash).
#include "output/text.h"

namespace {

const int BACKSLASH = '\\';
const int NEW_LINE = 10;
const unsigned MAX_DIGITS = 2;

// Plain range check: bytes 0x80-0xFF arrive negative and are never digits.
bool isHexDigit(int ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
}

// '0'-'9' -> 0-9; setting bit 0x20 folds 'A'-'F' onto 'a'-'f' -> 10-15.
int hexValue(int ch) {
    return ch <= '9' ? ch - '0' : (ch | 0x20) - 87;
}

}  // namespace

void writeEscapedText(const char *text) {
    if (!text) return;
    bool escaping = false;
    unsigned digits = 0;
    int value = 0;
    for (const signed char *p = reinterpret_cast<const signed char *>(text); *p; ++p) {
        int ch = *p;
        if (!escaping) {
            if (ch == BACKSLASH) escaping = true;
            else putCell(ch);
        } else if (isHexDigit(ch)) {
            if (digits < MAX_DIGITS) {
                ++digits;
                value = value * 16 + hexValue(ch);
            } else {
                // A third digit is an ordinary character.
                putCell(value);
                putCell(ch);
                value = 0;
                digits = 0;
                escaping = false;
            }
        } else if (digits > 0) {
            putCell(value);
            if (ch != BACKSLASH) {  // a backslash opens the next escape
                putCell(ch);
                escaping = false;
            }
            value = 0;
            digits = 0;
        } else {
            putCell(ch == 'n' ? NEW_LINE : ch);
            escaping = false;
        }
    }
    if (digits > 0) putCell(value);
}
