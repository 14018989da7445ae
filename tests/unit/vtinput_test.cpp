// The terminal input decoder, fed byte by byte, and the event records it fills.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/terminal/vtinput.h"

namespace {

// Feeds `bytes` one more byte at a time: every proper prefix must ask for
// more, the whole must be found using all of it.
TerminalInput decodeWhole(const std::string &bytes) {
    const uint8_t *b = reinterpret_cast<const uint8_t *>(bytes.data());
    int n = static_cast<int>(bytes.size());
    TerminalInput input = {};
    int used = 0;
    for (int i = 1; i < n; ++i)
        EXPECT_EQ(decodeTerminalInput(b, i, false, &input, &used), DECODE_NEED_MORE)
            << "prefix of " << i << " bytes";
    EXPECT_EQ(decodeTerminalInput(b, n, false, &input, &used), DECODE_FOUND);
    EXPECT_EQ(used, n);
    return input;
}

struct KeyCase {
    const char *bytes;
    int first, second;
};

void expectKeys(const KeyCase *cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const KeyCase &k = cases[i];
        std::string bytes = k.bytes[0] ? k.bytes : std::string(1, '\0');
        SCOPED_TRACE(testing::PrintToString(bytes));
        TerminalInput in = decodeWhole(bytes);
        EXPECT_EQ(in.kind, KEY_INPUT);
        EXPECT_EQ(in.first, k.first);
        EXPECT_EQ(in.second, k.second);
    }
}

const int NONE = NO_SECOND_CODE;

TEST(TerminalKeys, OrdinaryKeysGiveTheirCharacterCodes) {
    const KeyCase cases[] = {
        {"a", 'a', NONE},  {"A", 'A', NONE},   {"\r", 13, NONE}, {"\x7f", 8, NONE},
        {"\x08", 8, NONE}, {"\t", 9, NONE},    {"\x01", 1, NONE}, {"\x1a", 26, NONE},
        {"\n", 10, NONE},  {"\x03", 3, NONE},  {"", 0, 3},       // Ctrl+Space: NUL
    };
    expectKeys(cases, sizeof cases / sizeof cases[0]);
}

TEST(TerminalKeys, CursorBlockGivesGreyPairs) {
    const KeyCase cases[] = {
        {"\x1b[A", 224, 72},  {"\x1b[B", 224, 80},  {"\x1b[C", 224, 77},  {"\x1b[D", 224, 75},
        {"\x1bOA", 224, 72},  {"\x1bOD", 224, 75},  {"\x1b[H", 224, 71},  {"\x1b[F", 224, 79},
        {"\x1b[1~", 224, 71}, {"\x1b[4~", 224, 79}, {"\x1b[7~", 224, 71}, {"\x1b[8~", 224, 79},
        {"\x1b[5~", 224, 73}, {"\x1b[6~", 224, 81}, {"\x1b[2~", 224, 82}, {"\x1b[3~", 224, 83},
    };
    expectKeys(cases, sizeof cases / sizeof cases[0]);
}

TEST(TerminalKeys, FunctionKeysInEveryForm) {
    const KeyCase cases[] = {
        {"\x1bOP", 0, 59},    {"\x1bOS", 0, 62},    {"\x1b[11~", 0, 59},   {"\x1b[14~", 0, 62},
        {"\x1b[15~", 0, 63},  {"\x1b[17~", 0, 64},  {"\x1b[21~", 0, 68},   {"\x1b[23~", 224, 133},
        {"\x1b[24~", 224, 134}, {"\x1b[[A", 0, 59}, {"\x1b[[E", 0, 63},
    };
    expectKeys(cases, sizeof cases / sizeof cases[0]);
}

TEST(TerminalKeys, ModifiersAltBeatsCtrlBeatsShift) {
    const KeyCase cases[] = {
        {"\x1b[1;2P", 0, 84},      // Shift+F1
        {"\x1b[1;5P", 0, 94},      // Ctrl+F1
        {"\x1b[1;3P", 0, 104},     // Alt+F1
        {"\x1b[15;5~", 0, 98},     // Ctrl+F5
        {"\x1b[24;2~", 224, 136},  // Shift+F12
        {"\x1b[24;5~", 224, 138},  // Ctrl+F12
        {"\x1b[23;3~", 224, 139},  // Alt+F11
        {"\x1b[1;5D", 224, 115},   // Ctrl+Left
        {"\x1b[1;5C", 224, 116},   // Ctrl+Right
        {"\x1b[1;5A", 224, 141},   // Ctrl+Up
        {"\x1b[1;6D", 224, 115},   // Ctrl+Shift+Left: Ctrl wins
        {"\x1b[1;7D", 0, 155},     // Ctrl+Alt+Left: Alt wins
        {"\x1b[1;3A", 0, 152},     // Alt+Up
        {"\x1b[1;9A", 0, 152},     // Meta+Up counts as Alt
        {"\x1b[1;2A", 224, 72},    // Shift+Up: as Up
        {"\x1b[5;5~", 224, 134},   // Ctrl+PgUp: the pair of F12
        {"\x1b[3;5~", 224, 147},   // Ctrl+Delete
        {"\x1b[Z", 0, 15},         // Shift+Tab
    };
    expectKeys(cases, sizeof cases / sizeof cases[0]);
}

TEST(TerminalKeys, Utf8CharactersBecomeTheirWindows1252Bytes) {
    const KeyCase cases[] = {
        {"\xc3\xa9", 0xE9, NONE},      // é
        {"\xe2\x82\xac", 0x80, NONE},  // €
        {"\xc5\x93", 0x9C, NONE},      // œ
        {"\xc4\x81", '?', NONE},       // ā: not in 1252
        {"\xf0\x9f\x98\x80", '?', NONE},
    };
    expectKeys(cases, sizeof cases / sizeof cases[0]);
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

TEST(TerminalKeys, AltPrefixGivesTheKeyItself) {
    const KeyCase cases[] = {{"\x1b" "a", 'a', NONE}, {"\x1b\x7f", 8, NONE}, {"\x1b\xc3\xa9", 0xE9, NONE}};
    expectKeys(cases, sizeof cases / sizeof cases[0]);
}

TEST(TerminalKeys, LoneEscapeWaitsThenIsEscape) {
    const uint8_t b[] = {0x1b, '[', '1', ';'};
    TerminalInput in;
    int used = 0;
    EXPECT_EQ(decodeTerminalInput(b, 1, false, &in, &used), DECODE_NEED_MORE);
    ASSERT_EQ(decodeTerminalInput(b, 1, true, &in, &used), DECODE_FOUND);
    EXPECT_EQ(in.first, 27);
    EXPECT_EQ(used, 1);
    // A sequence broken off: its ESC is Escape, the rest comes as keys.
    ASSERT_EQ(decodeTerminalInput(b, 4, true, &in, &used), DECODE_FOUND);
    EXPECT_EQ(in.first, 27);
    EXPECT_EQ(used, 1);
    const uint8_t twice[] = {0x1b, 0x1b, '[', 'A'};
    ASSERT_EQ(decodeTerminalInput(twice, 4, false, &in, &used), DECODE_FOUND);
    EXPECT_EQ(in.first, 27);
    EXPECT_EQ(used, 1) << "the second ESC begins Up";
}

TEST(TerminalKeys, UnknownSequencesAreDroppedWhole) {
    const std::string replies[] = {"\x1b[?1;2c", "\x1b[99~", "\x1b[2;1R" "x", "\x1bOx"};
    const int lengths[] = {7, 5, 6, 3};
    for (int i = 0; i < 4; ++i) {
        TerminalInput in;
        int used = 0;
        const uint8_t *b = reinterpret_cast<const uint8_t *>(replies[i].data());
        EXPECT_EQ(decodeTerminalInput(b, static_cast<int>(replies[i].size()), false, &in, &used),
                  DECODE_NOT_MINE) << i;
        EXPECT_EQ(used, lengths[i]) << i;
    }
}

TEST(TerminalKeys, KeysFollowingOneAnotherAreTakenOneAtATime) {
    const std::string bytes = "\x1b[Ax\x1bOP";
    const uint8_t *b = reinterpret_cast<const uint8_t *>(bytes.data());
    TerminalInput in;
    int used = 0;
    ASSERT_EQ(decodeTerminalInput(b, 7, false, &in, &used), DECODE_FOUND);
    EXPECT_EQ(used, 3);
    ASSERT_EQ(decodeTerminalInput(b + 3, 4, false, &in, &used), DECODE_FOUND);
    EXPECT_EQ(in.first, 'x');
    EXPECT_EQ(used, 1);
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
