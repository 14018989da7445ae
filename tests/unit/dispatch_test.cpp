// Start-up, dispatch and the key reader on the in-memory console.
#include <gtest/gtest.h>

#include "run.h"

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        resetMemoryConsole();
        memoryConsole.cursor = Position{7, 9};
    }
    bool cursorMoved() { return memoryConsole.cursor.column != 7 || memoryConsole.cursor.row != 9; }
};

TEST_F(Dispatch, KeywordIsFoldedToUpperCaseBeforeLookup) {
    for (const char *keyword : {"print", "Print", "PRINT", "pRiNt"}) {
        resetMemoryConsole();
        EXPECT_EQ(run({keyword, "0", "0", "0A", "x"}), 0) << keyword;
        EXPECT_EQ(charAt(0, 0), 'x') << keyword;
    }
    memoryConsole.cursor = Position{7, 9};
    run({"_kbd"});
    EXPECT_TRUE(cursorMoved()) << "_kbd must run and home the cursor";
    queueKeyCodes('k');
    EXPECT_EQ(run({"kbd"}), 'k');
}

TEST_F(Dispatch, OnlyExactKeywordsRun) {
    for (const char *keyword : {"PRINTX", "PRIN", "KBD2", "", " KBD", "PRINT "}) {
        memoryConsole.cursor = Position{7, 9};
        queueKeyCodes('q');
        EXPECT_EQ(run({keyword, "0", "0", "0A", "x"}), 0) << keyword;
        EXPECT_FALSE(cursorMoved()) << keyword;
        EXPECT_FALSE(writtenAt(0, 0)) << keyword;
        EXPECT_EQ(memoryConsole.keyCount, 1) << keyword;
        memoryConsole.keyCount = 0;
    }
}

TEST_F(Dispatch, OnlyTheKeywordIsFolded) {
    run({"print", "0", "0", "0a", "abc"});
    EXPECT_EQ(screenRow(0).substr(0, 3), "abc");
    EXPECT_EQ(attributeAt(0, 0), 0x0Au);
}

TEST_F(Dispatch, NoArgumentsDoNothing) {
    queueKeyCodes('a');
    char program[] = "conx";
    char *vector[] = {program, nullptr};
    EXPECT_EQ(runCommandLine(1, vector, 0), 0);
    EXPECT_EQ(runCommandLine(0, vector + 1, 0), 0);
    EXPECT_FALSE(cursorMoved());
    EXPECT_EQ(memoryConsole.keyCount, 1);
}

TEST_F(Dispatch, FailedArgumentSplitEndsWithItsStatusAndRunsNothing) {
    char program[] = "conx", keyword[] = "KBD";
    char *vector[] = {program, keyword, nullptr};
    queueKeyCodes('a');
    EXPECT_EQ(runCommandLine(2, vector, 12), 12);
    EXPECT_EQ(memoryConsole.keyCount, 1);
}

TEST_F(Dispatch, SurplusParametersStillDispatch) {
    queueKeyCodes('z');
    EXPECT_EQ(run({"KBD", "extra", "more"}), 'z');
    memoryConsole.cursor = Position{7, 9};
    EXPECT_EQ(run({"_KBD", "extra"}), 0);
    EXPECT_TRUE(cursorMoved());
}

TEST_F(Dispatch, KbdReturnsOrdinaryKeysAsTheirCode) {
    for (int code : {65, 97, 13, 27, 8, 1, 255}) {
        queueKeyCodes(code);
        EXPECT_EQ(run({"KBD"}), code);
    }
}

TEST_F(Dispatch, KbdFoldsTwoCodeKeysToSecondPlus255) {
    queueKeyCodes(224, 72);  // up arrow
    EXPECT_EQ(run({"KBD"}), 327);
    queueKeyCodes(224, 75);
    EXPECT_EQ(run({"KBD"}), 330);
    queueKeyCodes(224, 77);
    EXPECT_EQ(run({"KBD"}), 332);
    queueKeyCodes(224, 80);
    EXPECT_EQ(run({"KBD"}), 335);
    queueKeyCodes(0, 59);  // F1
    EXPECT_EQ(run({"KBD"}), 314);
    queueKeyCodes(224, 134);  // F12
    EXPECT_EQ(run({"KBD"}), 389);
    EXPECT_EQ(memoryConsole.keyCount, 0);
}

TEST_F(Dispatch, A224FirstCodeAlwaysTakesASecondCode) {
    // 224 is also 'à' in some code pages: it is still the first of a pair.
    queueKeyCodes(224);
    queueKeyCodes('a');
    EXPECT_EQ(run({"KBD"}), 'a' + 255);
    EXPECT_EQ(memoryConsole.keyCount, 0);
}

TEST_F(Dispatch, PollKeyHomesTheCursorWithOrWithoutAKey) {
    EXPECT_EQ(run({"_KBD"}), 0);
    EXPECT_TRUE(cursorMoved());
    EXPECT_EQ(memoryConsole.cursor.column, 0);
    EXPECT_EQ(memoryConsole.cursor.row, 0);
    EXPECT_EQ(memoryConsole.keyReadsWithoutKey, 0) << "_KBD must not wait";

    memoryConsole.cursor = Position{7, 9};
    queueKeyCodes(0, 60);  // F2
    EXPECT_EQ(run({"_KBD"}), 315);
    EXPECT_EQ(memoryConsole.cursor.column, 0);
    EXPECT_EQ(memoryConsole.cursor.row, 0);
    EXPECT_EQ(memoryConsole.keyCount, 0) << "the key is consumed";
}

// KBD's and _KBD's result is the key code alone, which a platform may pass
// on besides the exit code; PRINT and INPUTHIT have results of their own.
TEST_F(Dispatch, OnlyKbdAndPollKbdNoteTheirKeyCode) {
    struct Case {
        std::initializer_list<std::string> line;
        bool keyWaits, noted;
        int32_t code;
    };
    const Case cases[] = {
        {{"KBD"}, true, true, 327},
        {{"_kbd"}, true, true, 327},
        {{"_KBD", "x"}, false, true, 0},
        {{"PRINT", "0", "0", "07", "x"}, true, false, 0},
        {{"PRINT", "1"}, true, false, 0},
        {{"INPUTHIT", "0"}, true, false, 0},
    };
    for (const Case &c : cases) {
        resetMemoryConsole();
        if (c.keyWaits) queueKeyCodes(224, 72);
        queueEvent(keyEvent({true, 0x26, 0}));
        run(c.line);
        EXPECT_EQ(memoryConsole.keyCodeNotes > 0, c.noted) << *c.line.begin();
        EXPECT_EQ(memoryConsole.notedKeyCode, c.code) << *c.line.begin();
    }
}

}  // namespace
