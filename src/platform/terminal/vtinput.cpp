// Terminal input decoding. Sequences understood:
//   ESC [ params final       CSI: cursor keys (A B C D H F), F1-F4 (P Q R S)
//                            with "1;m" modifiers, "n;m ~" for the rest,
//                            Z Shift+Tab, I / O focus in / out
//   ESC O [m] x              SS3: cursor keys and F1-F4 (application mode;
//                            konsole: modifier m before F1-F4)
//   ESC [ n $ / ^ / @        rxvt: key n with Shift / Ctrl / Ctrl+Shift;
//   ESC [ a-d, ESC O a-d     Shift+arrows, Ctrl+arrows
//   ESC ESC [ ..., ESC ESC O ...   rxvt: Alt + the key of that sequence
//   ESC [ P, ESC [ 4 h, ...  st's editing keys (StKeys)
//   ESC [ [ A-E, ESC TAB     the Linux console's F1-F5 and Shift+Tab
//   ESC [ O m P-S            terminology: F1-F4 with modifier m
//   ESC [ < b ; x ; y M/m    SGR mouse report, press / release, 1-based
//   ESC [ M b x y            legacy mouse report, each byte value + 32
//   ESC [ b ; x ; y M        urxvt mouse report, b + 32
//   ESC x                    Alt+x: the key x (the Windows console gives the
//                            character for Alt+letter)
//   ESC alone                Escape, once nothing follows within the timeout
//   ESC ESC alone            Alt+Escape: Escape
// Other sequences are dropped whole, never read as Escape and keys. The
// tables of key forms and their codes are in vtkeys.h.
#include "platform/terminal/vtinput.h"

#include "platform/terminal/vtkeys.h"

namespace {

const uint8_t ESC = 0x1B;
const uint8_t DEL = 0x7F;           // what Backspace sends
const uint8_t NUL = 0x00;           // Ctrl+Space, Ctrl+2
const int BACKSPACE_CODE = 8;       // what _getch gives for Backspace
const int EXTENDED = 0;             // first code of a key pair
const int CTRL_SPACE_SECOND = 3;    // Ctrl+Space / Ctrl+2: 0, 3
const int SHIFT_TAB_SECOND = 15;    // Shift+Tab: 0, 15
const int MAX_SEQUENCE = 32;        // longer "sequences" are noise
const int MAX_PARAMETERS = 4;
const int MOUSE_BYTE_OFFSET = 32;   // legacy and urxvt reports add 32

// SGR mouse button byte: low 2 bits the button, then modifiers and kinds.
const int MOUSE_BUTTON_BITS = 0x03;
const int MOUSE_NO_BUTTON = 3;      // a legacy release, or motion with no button
const int MOUSE_SHIFT = 4, MOUSE_META = 8, MOUSE_CTRL = 16;
const int MOUSE_MOTION = 32;
const int MOUSE_WHEEL = 64;         // buttons 4-7: 64 up, 65 down, 66 left, 67 right
const int MOUSE_EXTRA = 128;        // buttons 8-11: Windows has no record for them


const LetterKey *letterKey(uint8_t final) {
    for (const LetterKey &k : LetterKeys)
        if (k.final == final) return &k;
    return nullptr;
}

const TildeKey *tildeKey(int number) {
    for (const TildeKey &k : TildeKeys)
        if (k.number == number) return &k;
    return nullptr;
}

const NumberFinal *numberFinal(uint8_t final) {
    for (const NumberFinal &f : NumberFinals)
        if (f.final == final) return &f;
    return nullptr;
}

const StKey *stKey(uint8_t final, int count, int number) {
    for (const StKey &k : StKeys)
        if (k.final == final && (k.number == NO_NUMBER ? count == 0 : count == 1 && number == k.number))
            return &k;
    return nullptr;
}

DecodeStatus found(int *used, int length) {
    *used = length;
    return DECODE_FOUND;
}

DecodeStatus notMine(int *used, int length) {
    *used = length;
    return DECODE_NOT_MINE;
}

DecodeStatus keyFound(TerminalInput *input, int *used, int length, int first, int second) {
    *input = TerminalInput{};
    input->kind = KEY_INPUT;
    input->first = first;
    input->second = second;
    return found(used, length);
}

// Modifier bits of parameter m (1 or absent: none).
int modifierBits(int modifier) { return modifier > 1 ? modifier - 1 : 0; }

// The pair for `key` under modifier bits.
DecodeStatus namedKey(TerminalInput *input, int *used, int length, Key key, int bits) {
    const KeyCodes &k = KeyTable[key];
    if (bits & (MODIFIER_ALT | MODIFIER_META)) return keyFound(input, used, length, k.altFirst, k.alt);
    if (bits & MODIFIER_CTRL) return keyFound(input, used, length, k.first, k.ctrl);
    if (bits & MODIFIER_SHIFT) return keyFound(input, used, length, k.first, k.shift);
    return keyFound(input, used, length, k.first, k.plain);
}

DecodeStatus mouseFound(TerminalInput *input, int *used, int length, int button, int x, int y,
                        bool released) {
    *input = TerminalInput{};
    input->kind = MOUSE_INPUT;
    input->button = button;
    input->column = x - 1;
    input->row = y - 1;
    input->released = released;
    return found(used, length);
}

// Legacy and urxvt reports name no button on release: button bits 3.
bool isLegacyRelease(int button) {
    return (button & MOUSE_BUTTON_BITS) == MOUSE_NO_BUTTON &&
           !(button & (MOUSE_MOTION | MOUSE_WHEEL));
}

// Length of the UTF-8 sequence a lead byte opens; 0 when it opens none.
int utf8Length(uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// One key that is not an escape sequence: a control byte, an ASCII
// character, or a character in the terminal's set (given as its 1252 byte).
DecodeStatus decodePlain(const uint8_t *b, int length, bool quiet, Charset charset,
                         TerminalInput *input, int *used) {
    uint8_t c = b[0];
    if (c == NUL) return keyFound(input, used, 1, EXTENDED, CTRL_SPACE_SECOND);
    if (c == DEL) return keyFound(input, used, 1, BACKSPACE_CODE, NO_SECOND_CODE);
    if (c < 0x80) return keyFound(input, used, 1, c, NO_SECOND_CODE);
    if (charset != CHARSET_UTF8)
        return keyFound(input, used, 1, windows1252FromUnicode(codePointOfByte(charset, c)),
                        NO_SECOND_CODE);
    int n = utf8Length(c);
    if (n == 0) return keyFound(input, used, 1, c, NO_SECOND_CODE);  // a Latin-1 terminal
    uint32_t codePoint = c & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        if (i >= length) {
            if (quiet) return keyFound(input, used, 1, c, NO_SECOND_CODE);
            return DECODE_NEED_MORE;
        }
        if ((b[i] & 0xC0) != 0x80) return keyFound(input, used, 1, c, NO_SECOND_CODE);
        codePoint = (codePoint << 6) | (b[i] & 0x3F);
    }
    return keyFound(input, used, n, windows1252FromUnicode(codePoint), NO_SECOND_CODE);
}

// Parameters of a CSI sequence: numbers separated by ';' (or ':').
struct Parameters {
    int value[MAX_PARAMETERS];
    int count;    // 0 when there are no digits and no separators
    uint8_t marker;  // a private marker before them ('<', '?', ...) or 0
};

DecodeStatus escapeKey(TerminalInput *input, int *used) {
    return keyFound(input, used, 1, ESC, NO_SECOND_CODE);
}

DecodeStatus focusFound(TerminalInput *input, int *used, int length, bool focused) {
    *input = TerminalInput{};
    input->kind = FOCUS_INPUT;
    input->focused = focused;
    return found(used, length);
}

// `altBits`: MODIFIER_ALT when an ESC came before the sequence (rxvt's Alt).
DecodeStatus decodeCsiFinal(uint8_t final, const Parameters &p, int altBits, TerminalInput *input,
                            int *used, int length) {
    int first = p.count > 0 ? p.value[0] : 0;
    int bits = modifierBits(p.count > 1 ? p.value[1] : 1) | altBits;
    if (p.marker == '<') {
        if ((final == 'M' || final == 'm') && p.count == 3)
            return mouseFound(input, used, length, p.value[0], p.value[1], p.value[2], final == 'm');
        return notMine(used, length);
    }
    if (p.marker != 0) return notMine(used, length);
    if (final == 'M' && p.count == 3) {
        int button = p.value[0] - MOUSE_BYTE_OFFSET;
        return mouseFound(input, used, length, button, p.value[1], p.value[2],
                          isLegacyRelease(button));
    }
    if (const NumberFinal *f = numberFinal(final)) {
        const TildeKey *k = tildeKey(first);
        if (!k) return notMine(used, length);
        return namedKey(input, used, length, k->key, bits | k->bits | f->bits);
    }
    if (p.count == 0 && final == 'I') return focusFound(input, used, length, true);
    if (p.count == 0 && final == 'Z') return keyFound(input, used, length, EXTENDED, SHIFT_TAB_SECOND);
    if (const StKey *k = stKey(final, p.count, first))
        return namedKey(input, used, length, k->key, k->bits | altBits);
    const LetterKey *k = letterKey(final);
    if (k && (p.count == 0 || first <= 1))
        return namedKey(input, used, length, k->key, bits | k->csiBits);
    return notMine(used, length);
}

// ESC [ M: a legacy mouse report, whose three bytes (each value + 32) come
// with it, or st's Ctrl+Delete, which comes alone or before a key typed
// ahead (a control byte, which no report holds).
DecodeStatus decodeCsiM(const uint8_t *b, int length, bool quiet, int altBits, TerminalInput *input,
                        int *used) {
    bool alone = quiet && length < 6;
    for (int i = 3; i < length && i < 6; ++i) alone = alone || b[i] < MOUSE_BYTE_OFFSET;
    if (alone) {
        const StKey *k = stKey('M', 0, 0);
        return namedKey(input, used, 3, k->key, k->bits | altBits);
    }
    if (length < 6) return DECODE_NEED_MORE;
    int button = b[3] - MOUSE_BYTE_OFFSET;
    return mouseFound(input, used, 6, button, b[4] - MOUSE_BYTE_OFFSET, b[5] - MOUSE_BYTE_OFFSET,
                      isLegacyRelease(button));
}

// b[0] ESC, b[1] 'O'; konsole puts a modifier parameter before F1-F4.
DecodeStatus decodeSs3(const uint8_t *b, int length, int altBits, TerminalInput *input, int *used) {
    int i = 2, modifier = 0;
    for (; i < length && i < 4 && b[i] >= '0' && b[i] <= '9'; ++i)
        modifier = modifier * 10 + (b[i] - '0');
    if (i >= length) return DECODE_NEED_MORE;
    if (i == 2 && b[2] == 'M') return keyFound(input, used, 3, '\r', NO_SECOND_CODE);  // keypad Enter
    const LetterKey *k = letterKey(b[i]);
    if (!k) return notMine(used, i + 1);
    return namedKey(input, used, i + 1, k->key, modifierBits(modifier) | k->ss3Bits | altBits);
}

// ESC [ O: the focus-out report, or terminology's modified F1-F4, the SS3
// form with a '[' before it (ESC [ O 3 P, Alt+F1), taken whole.
DecodeStatus decodeCsiO(const uint8_t *b, int length, bool quiet, int altBits, TerminalInput *input,
                        int *used) {
    if (length == 3) return quiet ? focusFound(input, used, 3, false) : DECODE_NEED_MORE;
    if (b[3] < '0' || b[3] > '9') return focusFound(input, used, 3, false);
    DecodeStatus status = decodeSs3(b + 1, length - 1, altBits, input, used);
    if (status != DECODE_NEED_MORE) ++*used;
    return status;
}

// b[0] ESC, b[1] '['.
DecodeStatus decodeCsi(const uint8_t *b, int length, bool quiet, int altBits, TerminalInput *input,
                       int *used) {
    if (length < 3) return DECODE_NEED_MORE;
    if (b[2] == '[') {  // Linux console F1-F5
        if (length < 4) return DECODE_NEED_MORE;
        if (b[3] >= 'A' && b[3] <= 'E')
            return namedKey(input, used, 4, Key(KEY_F1 + (b[3] - 'A')), altBits);
        return notMine(used, 4);
    }
    if (b[2] == 'M') return decodeCsiM(b, length, quiet, altBits, input, used);
    if (b[2] == 'O') return decodeCsiO(b, length, quiet, altBits, input, used);
    Parameters p = {{0}, 0, 0};
    int i = 2;
    if (b[i] >= '<' && b[i] <= '?') p.marker = b[i++];
    for (; i < length && b[i] >= 0x30 && b[i] <= 0x3F; ++i) {
        if (p.count == 0) p.count = 1;
        if (b[i] == ';' || b[i] == ':') {
            if (p.count < MAX_PARAMETERS) p.value[p.count] = 0;
            ++p.count;
        } else if (b[i] >= '0' && b[i] <= '9' && p.count <= MAX_PARAMETERS) {
            int &v = p.value[p.count - 1];
            if (v < 100000) v = v * 10 + (b[i] - '0');
        }
    }
    if (i < length && b[i] == '$' && p.marker == 0 && p.count == 1)  // rxvt's Shift
        return decodeCsiFinal(b[i], p, altBits, input, used, i + 1);
    while (i < length && b[i] >= 0x20 && b[i] <= 0x2F) ++i;  // intermediates
    if (i >= length) return i >= MAX_SEQUENCE ? notMine(used, length) : DECODE_NEED_MORE;
    if (b[i] < 0x40 || b[i] > 0x7E) return notMine(used, i);  // broken off: drop what came
    if (p.count > MAX_PARAMETERS) return notMine(used, i + 1);
    return decodeCsiFinal(b[i], p, altBits, input, used, i + 1);
}

// b[0] ESC, b[1] '[' or 'O'. When nothing more comes, ESC [ and ESC O
// alone are Alt+[ and Alt+O (the key itself), and a sequence broken off
// is dropped whole.
DecodeStatus decodeSequence(const uint8_t *b, int length, bool quiet, int altBits,
                            TerminalInput *input, int *used) {
    DecodeStatus status = b[1] == '[' ? decodeCsi(b, length, quiet, altBits, input, used)
                                      : decodeSs3(b, length, altBits, input, used);
    if (status != DECODE_NEED_MORE || !quiet) return status;
    if (length == 2) return keyFound(input, used, 2, b[1], NO_SECOND_CODE);
    return notMine(used, length);
}

// b[0] ESC, b[1] ESC: Alt+Escape when nothing follows (the two may also be
// Escape twice at once, which reads the same), rxvt's Alt before a key's
// whole sequence, or else Escape followed by whatever the second ESC
// begins: a report or a terminal's answer (a private marker) is never a key.
DecodeStatus decodeAltSequence(const uint8_t *b, int length, bool quiet, TerminalInput *input,
                               int *used) {
    if (length == 2) return quiet ? keyFound(input, used, 2, ESC, NO_SECOND_CODE) : DECODE_NEED_MORE;
    if ((b[2] != '[' && b[2] != 'O') || (length == 3 && quiet)) return escapeKey(input, used);
    if (length > 3 && b[2] == '[' && b[3] >= '<' && b[3] <= '?') return escapeKey(input, used);
    DecodeStatus status = decodeSequence(b + 1, length - 1, quiet, MODIFIER_ALT, input, used);
    if (status == DECODE_NEED_MORE) return status;
    if (status == DECODE_FOUND && input->kind != KEY_INPUT) return escapeKey(input, used);
    ++*used;  // the key with Alt, or an unknown key dropped whole
    return status;
}

}  // namespace

DecodeStatus decodeTerminalInput(const uint8_t *bytes, int length, bool quiet,
                                 TerminalInput *input, int *used, Charset charset) {
    if (length <= 0) return DECODE_NEED_MORE;
    if (bytes[0] != ESC) return decodePlain(bytes, length, quiet, charset, input, used);
    if (length == 1) return quiet ? escapeKey(input, used) : DECODE_NEED_MORE;
    if (bytes[1] == '[' || bytes[1] == 'O')
        return decodeSequence(bytes, length, quiet, 0, input, used);
    if (bytes[1] == ESC) return decodeAltSequence(bytes, length, quiet, input, used);
    if (bytes[1] == '\t') return keyFound(input, used, 2, EXTENDED, SHIFT_TAB_SECOND);  // Linux console
    // Alt+key: the key itself, as the Windows console reports it.
    DecodeStatus status = decodePlain(bytes + 1, length - 1, quiet, charset, input, used);
    if (status != DECODE_NEED_MORE) ++*used;
    return status;
}

bool mouseEventRecord(const TerminalInput &input, MouseButtons *buttons, InputEvent *event) {
    int b = input.button;
    if (b < 0 || (b & MOUSE_EXTRA)) return false;
    uint32_t control = 0;
    if (b & MOUSE_SHIFT) control |= SHIFT_PRESSED_FLAG;
    if (b & MOUSE_META) control |= LEFT_ALT_PRESSED_FLAG;
    if (b & MOUSE_CTRL) control |= LEFT_CTRL_PRESSED_FLAG;
    int which = b & MOUSE_BUTTON_BITS;
    uint32_t state, flags = 0;
    if (b & MOUSE_WHEEL) {
        if (input.released) return false;  // horizontal wheels also report a release
        // 64 forward (+120), 65 back; 67 right (+120), 66 left.
        bool vertical = which < 2;
        bool positive = which == 0 || which == 3;
        int32_t delta = positive ? WHEEL_NOTCH : -WHEEL_NOTCH;
        state = (static_cast<uint32_t>(delta) << 16) | buttons->held;
        flags = vertical ? MOUSE_WHEELED_FLAG : MOUSE_HWHEELED_FLAG;
    } else {
        // Report numbering: 0 left, 1 middle, 2 right; Windows: 1, 4, 2.
        const uint32_t Bits[] = {LEFT_BUTTON, MIDDLE_BUTTON, RIGHT_BUTTON, 0};
        if (input.released && which == MOUSE_NO_BUTTON) buttons->held = 0;
        else if (input.released) buttons->held &= ~Bits[which];
        else buttons->held |= Bits[which];
        if (b & MOUSE_MOTION) flags = MOUSE_MOVED_FLAG;
        state = buttons->held;
    }
    int16_t column = static_cast<int16_t>(input.column), row = static_cast<int16_t>(input.row);
    *event = mouseEvent(MouseRecord{column, row, state, control, flags});
    return true;
}

InputEvent keyEventRecord(const TerminalInput &input) {
    uint16_t character = input.second == NO_SECOND_CODE ? static_cast<uint16_t>(input.first) : 0;
    return keyEvent(KeyRecord{true, 0, character, 1});
}
