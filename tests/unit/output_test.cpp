// PRINT, its escape decoder and cell writer, and COLOR, LOCATE, CURSOR,
// FONT, all on the in-memory console.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "output/text.h"
#include "run.h"

namespace {

// Rows 0-2 of the screen after PRINT 0 0 07 text: cells never written as
// '.', rows joined by '|', unwritten cells at the end of a row cut off.
std::string render(const std::string &text) {
    resetMemoryConsole();
    run({"PRINT", "0", "0", "07", text});
    std::string out;
    for (int row = 0; row < 3; ++row) {
        std::string line;
        for (int c = 0; c < memoryConsole.columns; ++c)
            line += writtenAt(c, row) ? charAt(c, row) : '.';
        line.erase(line.find_last_not_of('.') + 1);
        out += (row ? "|" : "") + line;
    }
    out.erase(out.find_last_not_of('|') + 1);
    return out;
}

TEST(EscapeDecoder, OrdinaryTextAndBackslashEscapes) {
    EXPECT_EQ(render("AB"), "AB");
    EXPECT_EQ(render("a\\\\b"), "a\\b");
    EXPECT_EQ(render("one\\ntwo"), "one|two");
    EXPECT_EQ(render("\\z"), "z");
    EXPECT_EQ(render("\\ x"), " x");
    EXPECT_EQ(render("\\x41"), "x41") << "no 0x prefix";
    EXPECT_EQ(render("abc\\"), "abc") << "a trailing backslash writes nothing";
}

TEST(EscapeDecoder, HexDigitsGiveByteValues) {
    EXPECT_EQ(render("\\41"), "A");
    EXPECT_EQ(render("\\41\\42"), "AB");
    EXPECT_EQ(render("\\4x"), "\x04x");
    EXPECT_EQ(render("\\4"), "\x04") << "digits at the end still count";
    EXPECT_EQ(render("\\F"), "\x0F");
    EXPECT_EQ(render("\\6a\\6A"), "jj") << "either case";
}

TEST(EscapeDecoder, AThirdDigitIsAnOrdinaryCharacter) {
    EXPECT_EQ(render("\\414"), "A4");
    EXPECT_EQ(render("\\4142"), "A42");
    EXPECT_EQ(render("\\41a\\42"), "AaB");
}

TEST(EscapeDecoder, BackslashAfterDigitsOpensTheNextEscape) {
    EXPECT_EQ(render("\\41\\nB"), "A|B");
    EXPECT_EQ(render("\\4\\\\"), "\x04\\");
    EXPECT_EQ(render("\\41\\"), "A");
}

TEST(EscapeDecoder, ZeroIsTransparentAndTenIsANewLine) {
    EXPECT_EQ(render("a\\0 b"), "a. b");
    EXPECT_EQ(render("a\\00b"), "a.b") << "b is a third digit: ordinary";
    EXPECT_EQ(render("a\\0b"), "a\x0B") << "b is a second digit";
    EXPECT_EQ(render("\\0\\00c"), "..c");
    EXPECT_EQ(render("x\\ay"), "x|y") << "\\a is hex 0A, a new line";
    EXPECT_EQ(render("x\\0Ay"), "x|y");
    EXPECT_EQ(render("x\\0a\\0ay"), "x||y");
}

TEST(EscapeDecoder, HighBytesPassThroughAndAreNeverDigits) {
    EXPECT_EQ(render("\xE9\x80\xFF"), "\xE9\x80\xFF");
    EXPECT_EQ(render("\\E9\\80"), "\xE9\x80");
    EXPECT_EQ(render("\\\xE9"), "\xE9") << "escaped high byte stands for itself";
    EXPECT_EQ(render("\\4\xE9"), "\x04\xE9");
    EXPECT_EQ(render("\\\xB9\xB9"), "\xB9\xB9") << "0xB9 is not the digit 9";
}

// Row 0 after PRINT 0 start 07 text with literal text read in `charset`:
// cells as their bytes, characters of the set as <code point> (a wide one's
// second column skipped, a zero-width one before the column it stands in
// front of), '.' for columns never written.
std::string renderLiteral(Charset charset, const std::string &text, int start = 0) {
    resetMemoryConsole();
    memoryConsole.literalCharset = charset;
    run({"PRINT", "0", std::to_string(start), "07", text});
    std::string out;
    char hex[16];
    for (int c = 0; c < 20; ++c) {
        const CharacterWrite *drawn = nullptr;
        for (const CharacterWrite &w : memoryConsole.characters) {
            if (w.at.column != c) continue;
            std::snprintf(hex, sizeof hex, "<%X>", w.character.codePoint);
            if (w.character.width == 0) out += hex;
            else drawn = &w;
        }
        if (drawn) {
            std::snprintf(hex, sizeof hex, "<%X>", drawn->character.codePoint);
            out += hex;
            c += drawn->character.width - 1;
        } else {
            out += writtenAt(c, 0) ? charAt(c, 0) : '.';
        }
    }
    return out.erase(out.find_last_not_of('.') + 1);
}

// Literal text is read in the locale's set; escapes and bytes the set
// lacks stay Windows-1252 (the Windows console reads every byte so).
TEST(EscapeDecoder, LiteralTextInTheScreensCharacterSet) {
    struct Case {
        Charset charset;
        const char *text;
        const char *drawn;
    };
    const Case cases[] = {
        {CHARSET_UTF8, "h\xc3\xa9llo \xe2\x82\xac", "h<E9>llo <20AC>"},
        {CHARSET_UTF8, "\xe6\x97\xa5\xe6\x9c\xacx", "<65E5><672C>x"},  // wide: two columns
        {CHARSET_UTF8, "e\xcc\x81x\\0\xcc\x81y", "e<301>x.<301>y"},  // zero width
        {CHARSET_UTF8, "\\E9\\80\\\xc3\xa9\\4\xc3\xa9", "\xE9\x80<E9>\x04<E9>"},
        {CHARSET_UTF8, "\xe9t\xe6\x97\xc2\x80\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80",
         "\xe9t\xe6\x97\xc2\x80\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80"},  // not UTF-8
        {CHARSET_LATIN9, "\xa4\x80\xe9", "<20AC>\x80<E9>"},
        {CHARSET_ASCII, "\xc3\xa9", "\xc3\xa9"},
        {CHARSET_CP1252, "\xc3\xa9\x80", "\xc3\xa9\x80"},
    };
    for (const Case &c : cases) EXPECT_EQ(renderLiteral(c.charset, c.text), c.drawn) << c.text;
    EXPECT_EQ(renderLiteral(CHARSET_UTF8, "\xe6\x97\xa5x", -1), ".x") << "a wide one half off";
}

TEST(CellWriter, NegativeColumnsAreClipped) {
    resetMemoryConsole();
    run({"PRINT", "1", "-3", "07", "abcde"});
    EXPECT_EQ(screenRow(1).substr(0, 3), "de ");
    EXPECT_FALSE(writtenAt(2, 1));
}

TEST(CellWriter, NegativeRowsAreClippedUntilANewLineReachesRowZero) {
    resetMemoryConsole();
    run({"PRINT", "-1", "4", "07", "hidden\\nshown"});
    EXPECT_EQ(screenRow(0).substr(0, 9), "    shown");
    for (int c = 0; c < 80; ++c) EXPECT_FALSE(writtenAt(c, 1));
}

TEST(CellWriter, NewLineReturnsToTheStartColumn) {
    resetMemoryConsole();
    run({"PRINT", "2", "5", "07", "ab\\ncd", "0C", "e\\nf"});
    EXPECT_EQ(screenRow(2).substr(5, 2), "ab");
    EXPECT_EQ(screenRow(3).substr(5, 3), "cde");
    EXPECT_EQ(screenRow(4).substr(4, 3), " f ");
}

TEST(CellWriter, TextPastTheRightEdgeIsDroppedNotWrapped) {
    resetMemoryConsole(10, 5);
    run({"PRINT", "1", "7", "07", "abcdef\\ngh"});
    EXPECT_EQ(screenRow(1), "       abc");
    EXPECT_EQ(screenRow(2), "       gh ");
    EXPECT_FALSE(writtenAt(0, 2));
}

TEST(CellWriter, PositionArithmeticWrapsAt16Bits) {
    resetMemoryConsole();
    textCursor = TextCursor{32767, 32767, 0, 7};
    putCell('a');
    EXPECT_EQ(textCursor.column, -32768);
    textCursor.row = 32767;
    putCell(10);
    EXPECT_EQ(textCursor.row, -32768);
    EXPECT_EQ(textCursor.column, 32767);
}

TEST(Print, DrawsColouredTextAndHomesTheCursor) {
    resetMemoryConsole();
    memoryConsole.cursor = Position{3, 3};
    EXPECT_EQ(run({"PRINT", "2", "5", "0A", "Hello"}), 0);
    EXPECT_EQ(screenRow(2).substr(4, 7), " Hello ");
    for (int c = 5; c < 10; ++c) EXPECT_EQ(attributeAt(c, 2), 0x0Au);
    EXPECT_FALSE(writtenAt(4, 2));
    EXPECT_FALSE(writtenAt(10, 2));
    EXPECT_EQ(memoryConsole.cursor.column, 0);
    EXPECT_EQ(memoryConsole.cursor.row, 0);
    EXPECT_EQ(memoryConsole.textAttribute, 0x07) << "COLOR's attribute untouched";
}

TEST(Print, RunsContinueEachOtherWithTheirOwnAttributes) {
    resetMemoryConsole();
    run({"PRINT", "2", "5", "0A", "Hel", "0x0c", "lo"});
    EXPECT_EQ(screenRow(2).substr(5, 5), "Hello");
    EXPECT_EQ(attributeAt(7, 2), 0x0Au);
    EXPECT_EQ(attributeAt(8, 2), 0x0Cu);
    EXPECT_EQ(attributeAt(9, 2), 0x0Cu);
}

TEST(Print, TakesPairsOnly) {
    resetMemoryConsole();
    run({"PRINT", "0", "0", "0A", "Hi", "0C"});
    EXPECT_EQ(screenRow(0).substr(0, 3), "Hi ");
    EXPECT_EQ(attributeAt(1, 0), 0x0Au);

    resetMemoryConsole();
    memoryConsole.cursor = Position{3, 3};
    run({"PRINT", "2", "5", "0A"});
    EXPECT_EQ(memoryConsole.cellWrites, 0);
    EXPECT_EQ(memoryConsole.cursor.column, 0);
}

TEST(Print, WithTooFewArgumentsOnlyHomesAndPolls) {
    resetMemoryConsole();
    memoryConsole.cursor = Position{3, 3};
    queueKeyCodes('y');
    EXPECT_EQ(run({"PRINT", "2"}), 'y');
    EXPECT_EQ(memoryConsole.cursor.column, 0);
    EXPECT_EQ(memoryConsole.cellWrites, 0);
}

TEST(Print, AWaitingKeyBecomesTheExitCode) {
    resetMemoryConsole();
    queueKeyCodes(224, 72);
    EXPECT_EQ(run({"PRINT", "0", "0", "07", "x"}), 327);
}

TEST(Print, ParsesNumbersLikeTheCRuntime) {
    resetMemoryConsole();
    run({"PRINT", " +1", "2x", "1f", "a", "zz", "b"});
    EXPECT_EQ(charAt(2, 1), 'a');
    EXPECT_EQ(attributeAt(2, 1), 0x1Fu);
    EXPECT_EQ(attributeAt(3, 1), 0x00u) << "no digits read as 0";
    run({"PRINT", "65537", "65538", "11F", "c"});  // cut to 16 bits
    EXPECT_EQ(charAt(2, 1), 'c');
    EXPECT_EQ(attributeAt(2, 1), 0x11Fu);
}

TEST(ConsoleState, ColorSetsTheTextAttributeWithExactlyOneParameter) {
    resetMemoryConsole();
    run({"COLOR", "1F"});
    EXPECT_EQ(memoryConsole.textAttribute, 0x1F);
    run({"COLOR", "0x2e"});
    EXPECT_EQ(memoryConsole.textAttribute, 0x2E);
    run({"COLOR"});
    run({"COLOR", "4F", "2"});
    EXPECT_EQ(memoryConsole.textAttribute, 0x2E);
    run({"COLOR", "x"});
    EXPECT_EQ(memoryConsole.textAttribute, 0x00) << "no digits: black on black";
}

TEST(ConsoleState, LocateTakesRowThenColumn) {
    resetMemoryConsole();
    run({"LOCATE", "3", "10"});
    EXPECT_EQ(memoryConsole.cursor.column, 10);
    EXPECT_EQ(memoryConsole.cursor.row, 3);
    run({"LOCATE", "5"});
    run({"LOCATE", "5", "6", "7"});
    EXPECT_EQ(memoryConsole.cursor.row, 3);
    run({"LOCATE", "65539", "65537"});  // cut to 16 bits: row 3, column 1
    EXPECT_EQ(memoryConsole.cursor.column, 1);
    EXPECT_EQ(memoryConsole.cursor.row, 3);
}

TEST(ConsoleState, CursorHidesShowsAndSizes) {
    resetMemoryConsole();
    run({"CURSOR", "0"});
    EXPECT_FALSE(memoryConsole.cursorShape.visible);
    EXPECT_EQ(memoryConsole.cursorShape.size, 25u);
    run({"CURSOR", "1"});
    EXPECT_TRUE(memoryConsole.cursorShape.visible);
    run({"CURSOR", "0"});
    run({"CURSOR", "50"});
    EXPECT_TRUE(memoryConsole.cursorShape.visible);
    EXPECT_EQ(memoryConsole.cursorShape.size, 50u);
    run({"CURSOR", "100"});
    EXPECT_EQ(memoryConsole.cursorShape.size, 100u);
    run({"CURSOR", "30"});
    run({"CURSOR", "-1"});
    run({"CURSOR"});
    run({"CURSOR", "0", "1"});
    EXPECT_EQ(memoryConsole.cursorShape.size, 100u);
    EXPECT_TRUE(memoryConsole.cursorShape.visible);
    run({"CURSOR", "x"});
    EXPECT_FALSE(memoryConsole.cursorShape.visible) << "no digits read as 0";
}

TEST(ConsoleState, FontPassesItsIndex) {
    resetMemoryConsole();
    run({"FONT", "2"});
    EXPECT_EQ(memoryConsole.font, 2u);
    run({"FONT"});
    run({"FONT", "3", "4"});
    EXPECT_EQ(memoryConsole.font, 2u);
}

}  // namespace
