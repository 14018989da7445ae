// Terminal output encoding (vtoutput.h lists the sequences).
#include "platform/terminal/vtoutput.h"

#include <cctype>
#include <cstring>

#include "platform/codepage1252.h"
#include "platform/utf8.h"

namespace {

// Windows attribute bits beyond the two colours.
const uint16_t FOREGROUND_MASK = 0x000F;
const uint16_t BACKGROUND_MASK = 0x00F0;
const int BACKGROUND_SHIFT = 4;
const uint16_t GRID_HORIZONTAL = 0x0400;  // a line over the cell: SGR 53
const uint16_t REVERSE_VIDEO = 0x4000;    // SGR 7
const uint16_t UNDERSCORE = 0x8000;       // SGR 4
const uint16_t SHOWN_FLAGS = GRID_HORIZONTAL | REVERSE_VIDEO | UNDERSCORE;
const int BRIGHT = 8;                     // intensity bit of a colour index

// SGR numbers: colour n (ANSI order) is base + n, bright ones bright base + n.
const int SGR_FOREGROUND = 30, SGR_BRIGHT_FOREGROUND = 90;
const int SGR_BACKGROUND = 40, SGR_BRIGHT_BACKGROUND = 100;
const int SGR_UNDERLINE = 4, SGR_REVERSE = 7, SGR_OVERLINE = 53;

const char CSI[] = "\x1b[";

// 00-1F and 7F: the CP437 pictures (what ConPTY shows for them); 00 blank.
const uint16_t ControlGlyphs[32] = {
    //  +0      +1      +2      +3      +4      +5      +6      +7
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
};
const uint16_t DELETE_GLYPH = 0x2302;  // 7F, a house
const uint16_t UNDEFINED_GLYPH = '?';  // 81 8D 8F 90 9D have no character

const int HIGH_FIRST = WINDOWS_1252_HIGH_FIRST, LATIN1_FIRST = WINDOWS_1252_HIGH_END;
const int DELETE = 0x7F, CONTROL_END = 0x20;

// The eight places where Latin-9 differs from Latin-1.
struct Latin9Place {
    uint8_t byte;
    uint16_t codePoint;
};
const Latin9Place Latin9Places[] = {
    {0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
    {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178},
};

// Codesets by name, compared without case and punctuation.
struct CodesetName {
    const char *name;
    Charset charset;
};
const CodesetName CodesetNames[] = {
    {"utf8", CHARSET_UTF8},         {"iso88591", CHARSET_LATIN1},  {"latin1", CHARSET_LATIN1},
    {"iso885915", CHARSET_LATIN9},  {"latin9", CHARSET_LATIN9},    {"cp1252", CHARSET_CP1252},
    {"windows1252", CHARSET_CP1252},
};

bool hasRoom(const ScreenStream *s, int bytes) { return s->length + bytes <= s->capacity; }

void put(ScreenStream *s, char c) {
    if (hasRoom(s, 1)) s->bytes[s->length++] = c;
}

void putNumber(ScreenStream *s, int n) {
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (count > 0) put(s, digits[--count]);
}

void putUtf8(ScreenStream *s, uint32_t c) {
    if (c < 0x80) {
        put(s, static_cast<char>(c));
    } else if (c < 0x800) {
        put(s, static_cast<char>(0xC0 | (c >> 6)));
        put(s, static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        put(s, static_cast<char>(0xE0 | (c >> 12)));
        put(s, static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        put(s, static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        put(s, static_cast<char>(0xF0 | (c >> 18)));
        put(s, static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        put(s, static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        put(s, static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A character in the stream's set: UTF-8, or its byte in an 8-bit set.
void putGlyph(ScreenStream *s, uint32_t c) {
    if (s->charset == CHARSET_UTF8) putUtf8(s, c);
    else put(s, static_cast<char>(byteInCharset(s->charset, c)));
}

// The code point of the well-formed UTF-8 sequence at b, and its length;
// 0 for anything else: a lone or missing continuation byte (the text's
// final NUL is one), an overlong form, a surrogate, a code point past
// U+10FFFF, or a C1 control (U+0080-009F), which no terminal may be sent.
int utf8Sequence(const uint8_t *b, uint32_t *codePoint) {
    const uint32_t Smallest[5] = {0, 0, 0xA0, 0x800, 0x10000};  // by length
    int length = utf8Length(b[0]);
    if (length == 0 || b[0] > 0xF4) return 0;
    for (int i = 1; i < length; ++i)
        if ((b[i] & 0xC0) != 0x80) return 0;
    uint32_t c = utf8CodePoint(b, length);
    if (c < Smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *codePoint = c;
    return length;
}

// Decimal digits of n (n >= 0).
int digitCount(int n) {
    int count = 1;
    while (n >= 10) {
        n /= 10;
        ++count;
    }
    return count;
}

int foregroundSgr(uint16_t attribute) {
    int colour = ansiColour(attribute & FOREGROUND_MASK);
    return (colour & BRIGHT) ? SGR_BRIGHT_FOREGROUND + (colour & ~BRIGHT) : SGR_FOREGROUND + colour;
}

int backgroundSgr(uint16_t attribute) {
    int colour = ansiColour((attribute & BACKGROUND_MASK) >> BACKGROUND_SHIFT);
    return (colour & BRIGHT) ? SGR_BRIGHT_BACKGROUND + (colour & ~BRIGHT) : SGR_BACKGROUND + colour;
}

// Appends ";n", or "n" as the first parameter.
void putParameter(ScreenStream *s, int n, bool *first) {
    if (!*first) put(s, ';');
    *first = false;
    putNumber(s, n);
}

// The SGR that takes the terminal from the attribute in force to `to`:
// only what differs, unless a flag must go off (only a reset clears it).
void putAttributeChange(ScreenStream *s, uint16_t to) {
    int from = s->attribute;
    bool reset = from == UNKNOWN_ATTRIBUTE || (from & SHOWN_FLAGS & ~to) != 0;
    uint16_t was = reset ? 0 : static_cast<uint16_t>(from);
    bool first = true;
    appendText(s, CSI);
    if (reset) putParameter(s, 0, &first);
    if ((to & REVERSE_VIDEO) && !(was & REVERSE_VIDEO)) putParameter(s, SGR_REVERSE, &first);
    if ((to & UNDERSCORE) && !(was & UNDERSCORE)) putParameter(s, SGR_UNDERLINE, &first);
    if ((to & GRID_HORIZONTAL) && !(was & GRID_HORIZONTAL)) putParameter(s, SGR_OVERLINE, &first);
    if (reset || (to & FOREGROUND_MASK) != (was & FOREGROUND_MASK))
        putParameter(s, foregroundSgr(to), &first);
    if (reset || (to & BACKGROUND_MASK) != (was & BACKGROUND_MASK))
        putParameter(s, backgroundSgr(to), &first);
    put(s, 'm');
    s->attribute = to & (FOREGROUND_MASK | BACKGROUND_MASK | SHOWN_FLAGS);
}

int cupLength(int column, int row) {
    if (column == 0) return row == 0 ? 3 : 3 + digitCount(row + 1);
    return 4 + digitCount(row + 1) + digitCount(column + 1);
}

int cufLength(int n) { return n == 1 ? 3 : 3 + digitCount(n); }

void putForward(ScreenStream *s, int n) {
    appendText(s, CSI);
    if (n > 1) putNumber(s, n);
    put(s, 'C');
}

// The shortest way from where the cursor is to (column, row): a step right
// on the same row, or an absolute move. A line feed would scroll at a
// bottom margin, so a new row is always an absolute move.
void moveTo(ScreenStream *s, int column, int row) {
    bool known = s->column >= 0 && s->row >= 0;
    bool wrapPending = s->column >= s->columns;
    if (known && row == s->row && column == s->column) return;
    if (known && row == s->row && column > s->column && !wrapPending &&
        cufLength(column - s->column) < cupLength(column, row)) {
        putForward(s, column - s->column);
    } else {
        appendCursorPosition(s, column, row);
    }
    s->column = column;
    s->row = row;
}

// The cursor move and SGR that a glyph drawn at (column, row) needs.
void startGlyph(ScreenStream *s, int column, int row, uint16_t attribute) {
    moveTo(s, column, row);
    uint16_t shown = attribute & (FOREGROUND_MASK | BACKGROUND_MASK | SHOWN_FLAGS);
    if (s->attribute != shown) putAttributeChange(s, shown);
}

// Compares a codeset with a known name, ignoring case, '-' and '_'.
bool sameCodeset(const char *codeset, size_t length, const char *known) {
    for (size_t i = 0; i < length; ++i) {
        char c = codeset[i];
        if (c == '-' || c == '_') continue;
        if (*known++ != std::tolower(static_cast<unsigned char>(c))) return false;
    }
    return *known == '\0';
}

}  // namespace

uint32_t glyphFromWindows1252(uint8_t byte) {
    if (byte < CONTROL_END) return ControlGlyphs[byte];
    if (byte == DELETE) return DELETE_GLYPH;
    if (byte < HIGH_FIRST || byte >= LATIN1_FIRST) return byte;
    uint16_t c = Windows1252High[byte - HIGH_FIRST];
    return c >= LATIN1_FIRST ? c : UNDEFINED_GLYPH;
}

uint8_t windows1252FromUnicode(uint32_t codePoint) {
    if (codePoint < HIGH_FIRST || (codePoint >= LATIN1_FIRST && codePoint <= 0xFF))
        return static_cast<uint8_t>(codePoint);
    for (int i = 0; i < LATIN1_FIRST - HIGH_FIRST; ++i)
        if (Windows1252High[i] == codePoint && codePoint >= LATIN1_FIRST)
            return static_cast<uint8_t>(HIGH_FIRST + i);
    return UNDEFINED_GLYPH;
}

Charset charsetFromLocale(const char *name) {
    if (!name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0)
        return CHARSET_ASCII;
    const char *dot = std::strchr(name, '.');
    if (!dot) return CHARSET_LATIN1;
    const char *codeset = dot + 1;
    size_t length = std::strcspn(codeset, "@");
    for (const CodesetName &known : CodesetNames)
        if (sameCodeset(codeset, length, known.name)) return known.charset;
    return CHARSET_ASCII;
}

uint8_t byteInCharset(Charset charset, uint32_t c) {
    if (c >= CONTROL_END && c < DELETE) return static_cast<uint8_t>(c);
    switch (charset) {
    case CHARSET_UTF8:
    case CHARSET_ASCII:
        break;
    case CHARSET_CP1252:
        if (c >= HIGH_FIRST) return windows1252FromUnicode(c);
        break;
    case CHARSET_LATIN9:
        for (const Latin9Place &p : Latin9Places) {
            if (p.codePoint == c) return p.byte;
            if (p.byte == c) return UNDEFINED_GLYPH;
        }
        [[fallthrough]];
    case CHARSET_LATIN1:
        if (c >= LATIN1_FIRST && c <= 0xFF) return static_cast<uint8_t>(c);
        break;
    }
    return UNDEFINED_GLYPH;
}

uint32_t codePointOfByte(Charset charset, uint8_t byte) {
    if (charset == CHARSET_CP1252) return glyphFromWindows1252(byte);
    if (charset == CHARSET_LATIN9)
        for (const Latin9Place &p : Latin9Places)
            if (p.byte == byte) return p.codePoint;
    return byte;
}

int characterAt(Charset charset, const char *text, Character *character) {
    const uint8_t *b = reinterpret_cast<const uint8_t *>(text);
    uint32_t c = b[0];
    int length = 1;
    if (c < HIGH_FIRST) return 0;
    switch (charset) {
    case CHARSET_UTF8:
        length = utf8Sequence(b, &c);
        if (length == 0) return 0;
        break;
    case CHARSET_LATIN1:
    case CHARSET_LATIN9:
        if (c < LATIN1_FIRST) return 0;
        c = codePointOfByte(charset, b[0]);
        break;
    case CHARSET_CP1252:
    case CHARSET_ASCII:
        return 0;
    }
    *character = Character{c, cellWidth(c)};
    return length;
}

int ansiColour(int w) { return (w & 0xA) | ((w & 1) << 2) | ((w >> 2) & 1); }

void startStream(ScreenStream *s, char *bytes, int capacity, int columns, int rows,
                 Charset charset) {
    *s = ScreenStream{bytes, capacity, 0, columns, rows, -1, -1, UNKNOWN_ATTRIBUTE, charset};
}

void appendCell(ScreenStream *s, int column, int row, uint8_t byte, uint16_t attribute) {
    startGlyph(s, column, row, attribute);
    appendCharacter(s, byte);
    // At the last column the cursor stays put with a wrap pending: nothing
    // scrolls, and the next move starts from there.
    s->column = column + 1;
}

// A terminal puts a zero-width character into the cell it drew last, where
// the cursor then stands right of it (or at the last column with a wrap
// pending). A wide glyph moves the cursor two cells; one that starts in the
// last column would wrap to the next row first, so it is not sent.
void appendCharacterCell(ScreenStream *s, int column, int row, Character character,
                         uint16_t attribute) {
    if (character.width == 0) {
        if (column > 0 && column == s->column && row == s->row) putGlyph(s, character.codePoint);
        return;
    }
    if (column < 0 || row < 0 || row >= s->rows || column + character.width > s->columns) return;
    startGlyph(s, column, row, attribute);
    putGlyph(s, character.codePoint);
    s->column = column + character.width;
}

void appendCharacter(ScreenStream *s, uint8_t byte) { putGlyph(s, glyphFromWindows1252(byte)); }

void appendText(ScreenStream *s, const char *text) {
    size_t n = std::strlen(text);
    if (!hasRoom(s, static_cast<int>(n))) return;
    std::memcpy(s->bytes + s->length, text, n);
    s->length += static_cast<int>(n);
}

void appendAttribute(ScreenStream *s, uint16_t attribute) {
    s->attribute = UNKNOWN_ATTRIBUTE;
    putAttributeChange(s, attribute);
}

void appendCursorPosition(ScreenStream *s, int column, int row) {
    appendText(s, CSI);
    if (row > 0 || column > 0) putNumber(s, row + 1);
    if (column > 0) {
        put(s, ';');
        putNumber(s, column + 1);
    }
    put(s, 'H');
    s->column = column;
    s->row = row;
}

void appendCursorShape(ScreenStream *s, CursorShape shape) {
    if (shape.size >= 1 && shape.size <= 100)
        appendText(s, shape.size <= LARGEST_UNDERLINE ? BLINKING_UNDERLINE : BLINKING_BLOCK);
    if (shape.visible != CURSOR_VISIBILITY_NOT_KNOWN)
        appendText(s, shape.visible == CURSOR_HIDDEN ? HIDE_CURSOR : SHOW_CURSOR);
}

void appendStopped(ScreenStream *s) {
    appendText(s, FOCUS_OFF);
    appendText(s, MOUSE_OFF);
    appendText(s, SHOW_CURSOR);
}

void appendContinued(ScreenStream *s, bool mouse, bool focus) {
    if (mouse) appendText(s, MOUSE_ON);
    if (focus) appendText(s, FOCUS_ON);
}
