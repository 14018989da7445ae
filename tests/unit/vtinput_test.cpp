// The terminal input decoder, fed byte by byte, and the event records it fills.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/terminal/vtinput.h"

namespace {

// Feeds `bytes` one more byte at a time: every proper prefix must ask for
// more, the whole must be found using all of it: at once, or (a key that
// begins longer ones, as Escape does) once the escape timeout has passed.
TerminalInput decodeWhole(const std::string &bytes) {
    const uint8_t *b = reinterpret_cast<const uint8_t *>(bytes.data());
    int n = static_cast<int>(bytes.size());
    TerminalInput input = {};
    int used = 0;
    for (int i = 1; i < n; ++i)
        EXPECT_EQ(decodeTerminalInput(b, i, false, &input, &used), DECODE_NEED_MORE)
            << "prefix of " << i << " bytes";
    DecodeStatus status = decodeTerminalInput(b, n, false, &input, &used);
    if (status == DECODE_NEED_MORE) status = decodeTerminalInput(b, n, true, &input, &used);
    EXPECT_EQ(status, DECODE_FOUND);
    EXPECT_EQ(used, n);
    return input;
}

// One row of terminal_keys.txt: the bytes a terminal sends for a key, and
// the key code conx gives for them.
struct KeyRow {
    std::string terminal, key, bytes;
    int code;
};

// The table's byte notation: control bytes by the names of its `names`
// line or as ^A, the rest as written.
using ByteNames = std::map<std::string, char>;

std::string bytesOf(std::istringstream &tokens, const ByteNames &names) {
    std::string bytes, token;
    while (tokens >> token) {
        if (names.count(token)) bytes += names.at(token);
        else if (token.size() == 2 && token[0] == '^') bytes += char(token[1] - '@');
        else bytes += token;
    }
    return bytes;
}

std::vector<KeyRow> keyTable() {
    std::ifstream file(TERMINAL_KEYS_FILE);
    std::vector<KeyRow> rows;
    ByteNames names;
    std::string line, name;
    int byte;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream tokens(line);
        KeyRow row;
        tokens >> row.terminal;
        if (row.terminal == "names")
            while (tokens >> name >> byte) names[name] = char(byte);
        else if (tokens >> row.key >> row.code)
            rows.push_back(KeyRow{row.terminal, row.key, bytesOf(tokens, names), row.code});
    }
    return rows;
}

// The code KBD gives: a pair folded as 255 + its second code.
int keyCode(const TerminalInput &in) { return in.second == NO_SECOND_CODE ? in.first : 255 + in.second; }

TEST(TerminalKeys, EveryTerminalsKeysGiveTheirCodes) {
    std::vector<KeyRow> rows = keyTable();
    ASSERT_FALSE(rows.empty()) << TERMINAL_KEYS_FILE;
    for (const KeyRow &row : rows) {
        SCOPED_TRACE(row.terminal + " " + row.key + " " + testing::PrintToString(row.bytes));
        TerminalInput in = decodeWhole(row.bytes);
        EXPECT_EQ(in.kind, KEY_INPUT);
        EXPECT_EQ(keyCode(in), row.code);
    }
}

// An 8-bit terminal sends one byte per character, in its own set.
TEST(TerminalKeys, EightBitCharactersBecomeTheirWindows1252Bytes) {
    struct Case {
        Charset charset;
        uint8_t byte;
        int first;
    };
    const Case cases[] = {
        {CHARSET_LATIN1, 0xE9, 0xE9}, {CHARSET_LATIN1, 0xA4, 0xA4},  // é, ¤
        {CHARSET_LATIN9, 0xA4, 0x80}, {CHARSET_LATIN9, 0xBD, 0x9C},  // €, œ
        {CHARSET_CP1252, 0x80, 0x80}, {CHARSET_LATIN1, 0x85, '?'},   // a C1 control
    };
    for (const Case &c : cases) {
        TerminalInput in = {};
        int used = 0;
        ASSERT_EQ(decodeTerminalInput(&c.byte, 1, false, &in, &used, c.charset), DECODE_FOUND);
        EXPECT_EQ(in.first, c.first) << c.charset << " " << int(c.byte);
        EXPECT_EQ(used, 1);
    }
}

// What the front of the bytes is, and how many bytes it takes: keys that
// follow one another, sequences conx does not know (dropped whole), and
// what an ESC is once the escape timeout has passed (quiet).
TEST(TerminalKeys, EachInputTakesItsOwnBytes) {
    struct Case {
        const char *bytes;
        bool quiet;
        DecodeStatus status;
        int used, code;
    };
    const Case cases[] = {
        {"\x1b[Ax\x1bOP", false, DECODE_FOUND, 3, 327},
        {"x\x1bOP", false, DECODE_FOUND, 1, 'x'},
        {"\x1b[?1;2c", false, DECODE_NOT_MINE, 7, 0},      // a terminal's reply
        {"\x1b[99~", false, DECODE_NOT_MINE, 5, 0},
        {"\x1b[2;1Rx", false, DECODE_NOT_MINE, 6, 0},
        {"\x1bOx", false, DECODE_NOT_MINE, 3, 0},
        {"\x1b\x1b[99~", false, DECODE_NOT_MINE, 6, 0},    // Alt and an unknown key
        {"\x1b[1;", true, DECODE_NOT_MINE, 4, 0},          // broken off
        {"\x1b\x1b", false, DECODE_NEED_MORE, 0, 0},       // Alt and a sequence, maybe
        {"\x1b\x1b", true, DECODE_FOUND, 2, 27},           // Alt+Escape, or Escape twice at once
        {"\x1b\x1b[?", false, DECODE_FOUND, 1, 27},        // Escape, the attributes answer
        {"\x1b\x1bx", false, DECODE_FOUND, 1, 27},         // Escape, Alt+x
        {"\x1b\x1b[", true, DECODE_FOUND, 1, 27},          // Escape, Alt+[
        {"\x1b\x1b[<0;1;1M", false, DECODE_FOUND, 1, 27},  // Escape, a click
        {"\x1b[Mx", true, DECODE_FOUND, 3, 402},           // st's Ctrl+Delete, x
        {"\x1b[M\x1b[A", false, DECODE_FOUND, 3, 402},     // st's Ctrl+Delete, Up
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)) + (c.quiet ? " quiet" : ""));
        TerminalInput in = {};
        int used = 0;
        const uint8_t *b = reinterpret_cast<const uint8_t *>(c.bytes);
        ASSERT_EQ(decodeTerminalInput(b, int(std::strlen(c.bytes)), c.quiet, &in, &used, CHARSET_UTF8),
                  c.status);
        if (c.status != DECODE_NEED_MORE) {
            EXPECT_EQ(used, c.used);
        }
        if (c.status == DECODE_FOUND) {
            EXPECT_EQ(keyCode(in), c.code);
        }
    }
}

// ---- Mouse and focus ------------------------------------------------------

TEST(TerminalMouse, ThreeEncodingsOfOneClick) {
    const std::string forms[] = {"\x1b[<0;13;5M", std::string("\x1b[M") + char(32) + char(45) + char(37),
                                 "\x1b[32;13;5M"};
    for (const std::string &form : forms) {
        SCOPED_TRACE(testing::PrintToString(form));
        TerminalInput in = decodeWhole(form);
        EXPECT_EQ(in.kind, MOUSE_INPUT);
        EXPECT_EQ(in.button, 0);
        EXPECT_EQ(in.column, 12);
        EXPECT_EQ(in.row, 4);
        EXPECT_FALSE(in.released);
    }
    EXPECT_TRUE(decodeWhole("\x1b[<2;1;1m").released);
    EXPECT_TRUE(decodeWhole(std::string("\x1b[M") + char(35) + char(33) + char(33)).released);
}

TEST(TerminalMouse, FocusReports) {
    TerminalInput in = decodeWhole("\x1b[I");
    EXPECT_EQ(in.kind, FOCUS_INPUT);
    EXPECT_TRUE(in.focused);
    EXPECT_FALSE(decodeWhole("\x1b[O").focused);
}

struct Record {
    int16_t column, row;
    uint32_t buttons, control, flags;
};

Record record(const char *report, MouseButtons *held) {
    InputEvent event;
    EXPECT_TRUE(mouseEventRecord(decodeWhole(report), held, &event)) << report;
    EXPECT_EQ(event.type, MOUSE_EVENT_TYPE);
    Record r;
    std::memcpy(&r.column, event.payload + 0, 2);
    std::memcpy(&r.row, event.payload + 2, 2);
    std::memcpy(&r.buttons, event.payload + 4, 4);
    std::memcpy(&r.control, event.payload + 8, 4);
    std::memcpy(&r.flags, event.payload + 12, 4);
    return r;
}

TEST(TerminalMouse, ButtonStateIsEveryButtonHeld) {
    MouseButtons held = {0};
    Record r = record("\x1b[<0;8;4M", &held);
    EXPECT_EQ(r.column, 7);
    EXPECT_EQ(r.row, 3);
    EXPECT_EQ(r.buttons, 1u);
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(record("\x1b[<2;8;4M", &held).buttons, 3u) << "right joins left";
    EXPECT_EQ(record("\x1b[<0;8;4m", &held).buttons, 2u) << "left let go";
    EXPECT_EQ(record("\x1b[<2;8;4m", &held).buttons, 0u);
    EXPECT_EQ(record("\x1b[<1;8;4M", &held).buttons, 4u) << "middle";
    EXPECT_EQ(record("\x1b[<33;9;4M", &held).flags, 1u) << "drag: moved";
    EXPECT_EQ(record("\x1b[<33;9;4M", &held).buttons, 4u);
    EXPECT_EQ(record(("\x1b[M" + std::string(1, char(35)) + "!!").c_str(), &held).buttons, 0u)
        << "a legacy release lets every button go";
    EXPECT_EQ(record("\x1b[<20;1;1M", &held).control, 0x10u | 0x08u) << "Shift and Ctrl";
}

TEST(TerminalMouse, WheelIsPlusOrMinus120InTheUpperHalf) {
    MouseButtons held = {0};
    Record up = record("\x1b[<64;3;2M", &held);
    EXPECT_EQ(up.buttons, 0x00780000u);
    EXPECT_EQ(up.flags, 0x4u);
    EXPECT_EQ(record("\x1b[<65;3;2M", &held).buttons, 0xFF880000u);
    Record left = record("\x1b[<66;3;2M", &held);
    EXPECT_EQ(left.buttons, 0xFF880000u);
    EXPECT_EQ(left.flags, 0x8u);
    EXPECT_EQ(record("\x1b[<67;3;2M", &held).buttons, 0x00780000u);
    InputEvent event;
    EXPECT_FALSE(mouseEventRecord(decodeWhole("\x1b[<67;3;2m"), &held, &event))
        << "a horizontal wheel's release has no record";
    EXPECT_FALSE(mouseEventRecord(decodeWhole("\x1b[<128;3;2M"), &held, &event));
}

}  // namespace
