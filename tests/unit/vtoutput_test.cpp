// The terminal output encoding: characters, colours and the cell stream's
// exact bytes.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/terminal/vtoutput.h"

namespace {

TEST(Windows1252, GlyphsForEveryKindOfByte) {
    EXPECT_EQ(glyphFromWindows1252('A'), uint32_t('A'));
    EXPECT_EQ(glyphFromWindows1252(0x80), 0x20ACu);  // €
    EXPECT_EQ(glyphFromWindows1252(0x9F), 0x0178u);  // Ÿ
    EXPECT_EQ(glyphFromWindows1252(0xE9), 0x00E9u);  // é
    EXPECT_EQ(glyphFromWindows1252(0x00), uint32_t(' '));
    EXPECT_EQ(glyphFromWindows1252(0x01), 0x263Au);  // ☺
    EXPECT_EQ(glyphFromWindows1252(0x1B), 0x2190u);  // ←: never a raw ESC
    EXPECT_EQ(glyphFromWindows1252(0x7F), 0x2302u);  // ⌂
    for (uint8_t undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(glyphFromWindows1252(undefined), uint32_t('?'));
}

TEST(Windows1252, NoByteShowsAsAControlCharacter) {
    for (int b = 0; b < 256; ++b) {
        uint32_t g = glyphFromWindows1252(static_cast<uint8_t>(b));
        EXPECT_FALSE(g < 0x20 || (g >= 0x7F && g < 0xA0)) << b;
    }
}

TEST(Windows1252, TypedCharactersMapBackToTheirBytes) {
    for (int b = 0x80; b < 256; ++b) {
        uint32_t g = glyphFromWindows1252(static_cast<uint8_t>(b));
        if (g == '?') continue;
        EXPECT_EQ(windows1252FromUnicode(g), b) << b;
    }
    EXPECT_EQ(windows1252FromUnicode(0x263A), '?');
}

TEST(Attributes, WindowsColourOrderSwapsRedAndBlue) {
    const int expected[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
    for (int w = 0; w < 16; ++w) EXPECT_EQ(ansiColour(w), expected[w]) << w;
}

struct Stream {
    char bytes[8192];
    ScreenStream s;
    Stream(int columns = 80, int rows = 25) { startStream(&s, bytes, sizeof bytes, columns, rows); }
    std::string text() const { return std::string(bytes, static_cast<size_t>(s.length)); }
};

TEST(CellStream, FirstCellMovesAndSetsTheWholeAttribute) {
    Stream t;
    appendCell(&t.s, 4, 2, 'H', 0x0A);
    appendCell(&t.s, 5, 2, 'i', 0x0A);
    EXPECT_EQ(t.text(), "\x1b[3;5H\x1b[0;92;40mHi");
}

TEST(CellStream, OnlyWhatChangesIsSent) {
    Stream t;
    appendCell(&t.s, 0, 0, 'a', 0x1F);
    appendCell(&t.s, 1, 0, 'b', 0x1C);  // foreground only
    appendCell(&t.s, 2, 0, 'c', 0x4C);  // background only
    appendCell(&t.s, 3, 0, 'd', 0x07);  // both
    EXPECT_EQ(t.text(), "\x1b[H\x1b[0;97;44ma\x1b[91mb\x1b[41mc\x1b[37;40md");
}

TEST(CellStream, FlagsComeOnAloneAndGoOffWithAReset) {
    Stream t;
    appendCell(&t.s, 0, 0, 'a', 0x07);
    appendCell(&t.s, 1, 0, 'b', 0xC007);  // reverse and underline
    appendCell(&t.s, 2, 0, 'c', 0x8007);  // reverse off: only a reset clears it
    EXPECT_EQ(t.text(), "\x1b[H\x1b[0;37;40ma\x1b[7;4mb\x1b[0;4;37;40mc");
}

TEST(CellStream, ShortestMovesBetweenCells) {
    Stream t;
    appendCell(&t.s, 0, 0, 'a', 7);
    appendCell(&t.s, 2, 0, 'b', 7);    // one cell skipped
    appendCell(&t.s, 10, 0, 'c', 7);   // seven skipped
    appendCell(&t.s, 0, 1, 'd', 7);    // next row: never a line feed, which
    appendCell(&t.s, 1, 2, 'e', 7);    // scrolls at a bottom margin
    appendCell(&t.s, 20, 5, 'f', 7);
    EXPECT_EQ(t.text(), "\x1b[H\x1b[0;37;40ma\x1b[Cb\x1b[7Cc\x1b[2Hd\x1b[3;2He\x1b[6;21Hf");
}

TEST(CellStream, TheLastColumnLeavesAPendingWrapThatAMoveResolves) {
    Stream t(10, 3);
    appendCell(&t.s, 9, 0, 'x', 7);
    appendCell(&t.s, 0, 1, 'y', 7);
    appendCell(&t.s, 9, 2, 'z', 7);    // bottom-right: no scroll, nothing after
    EXPECT_EQ(t.text(), "\x1b[1;10H\x1b[0;37;40mx\x1b[2Hy\x1b[3;10Hz");
}

// A wide character moves the cursor two cells; a zero-width one joins the
// glyph sent just before it. Neither may make the terminal wrap or scroll.
TEST(CellStream, WideAndZeroWidthCharacters) {
    const Character Wide = {0x65E5, 2}, Acute = {0x0301, 0};  // 日, a combining acute
    Stream t(10, 3);
    appendCell(&t.s, 0, 0, 'e', 7);
    appendCharacterCell(&t.s, 1, 0, Acute, 7);
    appendCharacterCell(&t.s, 1, 0, Wide, 7);
    appendCell(&t.s, 3, 0, 'x', 7);             // right after it: no move
    appendCharacterCell(&t.s, 5, 0, Acute, 7);  // after a cell not drawn: dropped
    appendCharacterCell(&t.s, 9, 0, Wide, 7);   // one column left: would wrap
    appendCharacterCell(&t.s, 8, 0, Wide, 7);   // the last two columns
    appendCharacterCell(&t.s, 10, 0, Acute, 7); // joins it, the wrap pending
    appendCharacterCell(&t.s, -1, 1, Wide, 7);  // begins left of the screen
    appendCharacterCell(&t.s, 0, 3, Wide, 7);   // below it
    appendCell(&t.s, 0, 1, 'y', 7);
    appendCharacterCell(&t.s, 0, 2, Acute, 7);  // nothing before it
    EXPECT_EQ(t.text(), "\x1b[H\x1b[0;37;40me\xcc\x81\xe6\x97\xa5x\x1b[4C\xe6\x97\xa5\xcc\x81"
                        "\x1b[2Hy");
}

// The width table against the C library's, with which tmux and xterm
// measure text, over every character both know (code points below A0 are
// read as Windows-1252; wcwidth gives -1 for unassigned ones). On Debian 12
// both are Unicode 14 and there is no difference.
TEST(CellWidth, AgreesWithTheCLibrary) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    int differences = 0;
    for (uint32_t c = 0xA0; c < 0x110000 && differences < 10; ++c) {
        int expected = wcwidth(static_cast<wchar_t>(c));
        if (expected >= 0 && cellWidth(c) != expected)
            ADD_FAILURE() << std::hex << "U+" << c << ": " << cellWidth(c) << ", C library "
                          << expected << " (" << ++differences << ")";
    }
    std::setlocale(LC_CTYPE, "C");
}

// Each character in the terminal's own set: UTF-8, or one byte where the
// set has the character and '?' where it lacks it, never a byte that an
// 8-bit terminal takes as a control (80-9F in Latin-1).
TEST(CellStream, CharactersGoOutInTheTerminalsCharacterSet) {
    struct Case {
        Charset charset;
        const char *bytes;  // for \80 \E9 \01 \14 \A4 \9C
    };
    const Case cases[] = {
        {CHARSET_UTF8, "\xe2\x82\xac\xc3\xa9\xe2\x98\xba\xc2\xb6\xc2\xa4\xc5\x93"},
        {CHARSET_LATIN1, "?\xe9?\xb6\xa4?"},
        {CHARSET_LATIN9, "\xa4\xe9?\xb6?\xbd"},
        {CHARSET_CP1252, "\x80\xe9?\xb6\xa4\x9c"},
        {CHARSET_ASCII, "??????"},
    };
    for (const Case &c : cases) {
        char bytes[64];
        ScreenStream s;
        startStream(&s, bytes, sizeof bytes, 80, 25, c.charset);
        for (uint8_t b : {0x80, 0xE9, 0x01, 0x14, 0xA4, 0x9C}) appendCharacter(&s, b);
        EXPECT_EQ(std::string(bytes, static_cast<size_t>(s.length)), c.bytes) << c.charset;
    }
}

TEST(CellStream, TheLocaleNamesTheCharacterSet) {
    struct Case {
        const char *locale;
        Charset charset;
    };
    const Case cases[] = {
        {"en_US.UTF-8", CHARSET_UTF8},       {"C.utf8", CHARSET_UTF8},
        {"en_US.ISO-8859-1", CHARSET_LATIN1}, {"de_DE", CHARSET_LATIN1},
        {"de_DE.iso885915@euro", CHARSET_LATIN9}, {"fr_FR.CP1252", CHARSET_CP1252},
        {"C", CHARSET_ASCII}, {"POSIX", CHARSET_ASCII}, {"", CHARSET_ASCII},
        {"ja_JP.eucJP", CHARSET_ASCII},
    };
    for (const Case &c : cases) EXPECT_EQ(charsetFromLocale(c.locale), c.charset) << c.locale;
}

// What CURSOR's records send: the sizes as the Windows console's blinking
// shapes, and only what the record sets (a terminal cannot be asked).
TEST(Modes, TheCursorGetsOnlyWhatItsRecordSets) {
    struct Case {
        CursorShape shape;
        const char *bytes;
    };
    const Case cases[] = {
        {{25, CURSOR_SHOWN}, "\x1b[3 q\x1b[?25h"},  {{50, CURSOR_SHOWN}, "\x1b[3 q\x1b[?25h"},
        {{51, CURSOR_SHOWN}, "\x1b[1 q\x1b[?25h"},  {{100, CURSOR_SHOWN}, "\x1b[1 q\x1b[?25h"},
        {{0, CURSOR_HIDDEN}, "\x1b[?25l"},           {{0, CURSOR_SHOWN}, "\x1b[?25h"},
        {{0, CURSOR_VISIBILITY_NOT_KNOWN}, ""},        {{101, CURSOR_VISIBILITY_NOT_KNOWN}, ""},
    };
    for (const Case &c : cases) {
        Stream t;
        appendCursorShape(&t.s, c.shape);
        EXPECT_EQ(t.text(), c.bytes) << c.shape.size << " " << int(c.shape.visible);
    }
}

// Stopped by Ctrl+Z, a run leaves the shell no reporting and a cursor;
// going on, it switches back on what it had on.
TEST(Modes, AStoppedRunGivesReportingBackAndTakesItAgain) {
    Stream t;
    appendStopped(&t.s);
    appendContinued(&t.s, true, true);
    EXPECT_EQ(t.text(), "\x1b[?1004l\x1b[?1006l\x1b[?1002l\x1b[?1000l\x1b[?25h"
                        "\x1b[?1000h\x1b[?1002h\x1b[?1006h\x1b[?1004h");
}

// A full 80x25 frame with four runs of different colours on every row:
// the bytes sent per byte shown.
TEST(CellStream, FrameOverheadStaysSmall) {
    Stream t;
    const uint16_t Runs[4] = {0x1F, 0x1E, 0x2F, 0x4E};
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 80; ++column)
            appendCell(&t.s, column, row, 'x', Runs[column / 20]);
    double ratio = t.s.length / 2000.0;
    RecordProperty("bytes", t.s.length);
    EXPECT_LT(ratio, 1.45) << t.s.length << " bytes";
    std::printf("80x25 frame, four runs a row: %d bytes for 2000 shown (%.3fx)\n", t.s.length, ratio);
}

}  // namespace
