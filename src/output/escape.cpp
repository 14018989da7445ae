// The escape decoder: ordinary bytes pass through; a backslash takes up to
// two hex digits as a byte value (\0 transparent, \0A new line), 'n' as a
// new line, and any other character as itself (\\ is one backslash).
// Literal text is read in the screen's own character set (the locale's on
// Unix, the command line's Unicode on Windows): each of its characters goes
// out whole, an escaped one (\é) too. Bytes that escapes give, and literal
// bytes that are no character of the set, are code page 1252 bytes.
#include "output/text.h"

namespace {

const int BACKSLASH = '\\';
const int NEW_LINE = 10;
const unsigned MAX_DIGITS = 2;
const int NOT_HEX = -1;

// '0'-'9' -> 0-9; setting bit 0x20 folds 'A'-'F' onto 'a'-'f' -> 10-15.
// Bytes 0x80-0xFF arrive negative and stay negative: never digits.
int hexDigitValue(int ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    ch |= 0x20;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return NOT_HEX;
}

// Draws what starts at p: a character of the screen's set when one does,
// else byte ch. Returns how many bytes it took beyond p's own.
int putText(const signed char *p, int ch) {
    Character character;
    int length = console::literalCharacter(reinterpret_cast<const char *>(p), &character);
    if (length == 0) {
        putCell(ch);
        return 0;
    }
    putCharacter(character);
    return length - 1;
}

}  // namespace

void writeEscapedText(const char *text) {
    if (!text) return;
    bool escaping = false;
    unsigned digits = 0;  // hex digits read since the backslash
    int value = 0;
    for (const signed char *p = reinterpret_cast<const signed char *>(text); *p; ++p) {
        int ch = *p;
        if (escaping) {
            int digit = hexDigitValue(ch);
            if (digit != NOT_HEX && digits < MAX_DIGITS) {
                value = value * 16 + digit;
                ++digits;
                continue;
            }
            escaping = false;
            if (digits == 0) {
                p += putText(p, ch == 'n' ? NEW_LINE : ch);
                continue;
            }
            // The byte is complete; the character after it (a third hex
            // digit included) is an ordinary one, a backslash opening the
            // next escape.
            putCell(value);
            value = 0;
            digits = 0;
        }
        if (ch == BACKSLASH) escaping = true;
        else p += putText(p, ch);
    }
    if (digits > 0) putCell(value);
}
