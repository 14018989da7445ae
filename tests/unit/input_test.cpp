// INPUTHIT, MOUSE, TIME and SLEEP on the in-memory console.
#include <gtest/gtest.h>

#include "run.h"

namespace {

const uint32_t WHEEL_FORWARD = 0x00780000;   // +120 in the upper half
const uint32_t WHEEL_BACKWARD = 0xFF880000;  // -120

class Input : public ::testing::Test {
protected:
    void SetUp() override { resetMemoryConsole(); }
    const std::string &output() { return memoryConsole.output; }
};

TEST_F(Input, InputHitWithNothingPendingPrintsNothing) {
    EXPECT_EQ(run({"INPUTHIT", "0"}), 0);
    EXPECT_EQ(output(), "");
    EXPECT_EQ(run({"INPUTHIT"}), 0) << "a missing mode reads as 0";
    EXPECT_EQ(output(), "");
}

TEST_F(Input, InputHitReportsAKeyAsMinusOnes) {
    queueEvent(keyEvent({true, 'A', 'a'}));
    queueKeyCodes('a');
    EXPECT_EQ(run({"INPUTHIT", "0"}), 97);
    EXPECT_EQ(output(), "-1 -1 -1 97 a\n");
}

TEST_F(Input, InputHitReportsTwoCodeKeysWithTheLowByteAsCharacter) {
    queueEvent(keyEvent({true, 0x26, 0}));
    queueKeyCodes(224, 72);
    EXPECT_EQ(run({"INPUTHIT", "0"}), 327);
    EXPECT_EQ(output(), "-1 -1 -1 327 G\n");
}

TEST_F(Input, InputHitReportsAKeyReleaseWithoutAKeystroke) {
    queueEvent(keyEvent({false, 'A', 'a'}));  // key-up: "position" 0,0
    EXPECT_EQ(run({"INPUTHIT", "0"}), 0);
    EXPECT_EQ(output(), "-1 -1 -1 0  \n");
}

TEST_F(Input, InputHitReportsAClickWithABlankKey) {
    queueEvent(mouseEvent({7, 3, LEFT_BUTTON}));
    EXPECT_EQ(run({"INPUTHIT", "0"}), 0);
    EXPECT_EQ(output(), "3 7 1 0  \n");
}

TEST_F(Input, InputHitTakesPositionFromTheFirstEventAndTheKeyFromLater) {
    queueEvent(mouseEvent({12, 4, RIGHT_BUTTON}));
    queueEvent(keyEvent({true, 'B', 'b'}));
    queueKeyCodes('b');
    EXPECT_EQ(run({"INPUTHIT", "0"}), 'b');
    EXPECT_EQ(output(), "4 12 2 98 b\n");
}

TEST_F(Input, InputHitReportsFocusAsMinusTwos) {
    queueEvent(focusEvent(true));
    run({"INPUTHIT", "0"});
    EXPECT_EQ(output(), "-2 -2 -2 0  \n");
}

TEST_F(Input, InputHitReportsTheWheelWithRawButtons) {
    queueEvent(mouseEvent({5, 5, WHEEL_FORWARD, 0, 4}));
    run({"INPUTHIT", "0"});
    queueEvent(mouseEvent({5, 5, WHEEL_BACKWARD, 0, 4}));
    run({"INPUTHIT", "0"});
    EXPECT_EQ(output(), "-1 -1 7864320 0  \n-1 -1 -7864320 0  \n");
}

TEST_F(Input, InputHitReportsAMoveWithNoButtonsAndABufferResize) {
    queueEvent(mouseEvent({9, 2, 0, 0, 1}));
    run({"INPUTHIT", "0"});
    queueEvent(bufferSizeEvent({100, 30}));
    run({"INPUTHIT", "0"});
    EXPECT_EQ(output(), "2 9 0 0  \n30 100 0 0  \n");
}

TEST_F(Input, InputHitEmptiesTheQueueAndLeavesItsModeSet) {
    queueEvent(mouseEvent({1, 1, LEFT_BUTTON}));
    queueEvent(keyEvent({true, 'C', 'c'}));
    queueKeyCodes('c');
    queueKeyCodes('d');
    run({"INPUTHIT", "0"});
    EXPECT_EQ(memoryConsole.eventCount, 0);
    EXPECT_EQ(memoryConsole.keyCount, 0);
    EXPECT_EQ(memoryConsole.inputMode, (0x1F7u | ENABLE_MOUSE_INPUT_FLAG) &
                                           ~(ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG));
}

TEST_F(Input, InputHitModeOneWaitsForTheFirstEvent) {
    queueEvent(mouseEvent({3, 2, 0, 0, 1}), 5);
    run({"INPUTHIT", "1"});
    EXPECT_EQ(output(), "2 3 0 0  \n");
    EXPECT_GE(memoryConsole.sleepCalls, 4);
    EXPECT_EQ(memoryConsole.sleptMilliseconds, static_cast<uint64_t>(memoryConsole.sleepCalls));
}

TEST_F(Input, InputHitModeOtherThanOneDoesNotWait) {
    queueEvent(mouseEvent({3, 2, 0, 0, 1}), 5);
    run({"INPUTHIT", "2"});
    EXPECT_EQ(output(), "");
    EXPECT_EQ(memoryConsole.sleepCalls, 0);
}

TEST_F(Input, InputHitWithoutAConsoleNeitherWaitsNorReports) {
    memoryConsole.inputIsConsole = false;
    run({"INPUTHIT", "1"});
    run({"INPUTHIT", "0"});
    EXPECT_EQ(output(), "");
    EXPECT_LE(memoryConsole.sleepCalls, 1);
}

TEST_F(Input, MouseWaitsForAButtonSkippingEverythingElse) {
    queueEvent(keyEvent({true, 'A', 'a'}));
    queueEvent(keyEvent({false, 'A', 'a'}));
    queueEvent(mouseEvent({4, 4, 0}));               // release
    queueEvent(mouseEvent({4, 4, 0, 0, 1}));            // move
    queueEvent(mouseEvent({4, 4, WHEEL_FORWARD, 0, 4}));
    queueEvent(mouseEvent({4, 4, WHEEL_BACKWARD, 0, 4}));
    queueEvent(focusEvent(false));
    queueEvent(mouseEvent({12, 4, RIGHT_BUTTON}));
    queueEvent(mouseEvent({1, 1, LEFT_BUTTON}));
    queueKeyCodes('a');
    EXPECT_EQ(run({"MOUSE", "ignored"}), 0);
    EXPECT_EQ(output(), "4 12 2");
    EXPECT_EQ(memoryConsole.eventCount, 1) << "events after the click stay";
    EXPECT_EQ(memoryConsole.inputMode, 0x1F7u) << "mode restored";
}

TEST_F(Input, MouseReportsEveryButtonStateFromOneToFour) {
    for (uint32_t buttons : {1u, 2u, 3u, 4u}) {
        memoryConsole.output.clear();
        queueEvent(mouseEvent({0, 0, 5}));  // three buttons: not a report
        queueEvent(mouseEvent({8, 6, buttons, 0, 2}));
        run({"MOUSE"});
        EXPECT_EQ(output(), "6 8 " + std::to_string(buttons));
    }
}

TEST_F(Input, MouseSetsMouseInputWithoutQuickEditOrCtrlC) {
    memoryConsole.inputMode = ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG;
    run({"MOUSE"});  // no event: the memory console's read fails at once
    EXPECT_EQ(memoryConsole.modeWrites, 2);
    EXPECT_EQ(output(), "");
    EXPECT_EQ(memoryConsole.inputMode, ENABLE_QUICK_EDIT_MODE_FLAG | ENABLE_PROCESSED_INPUT_FLAG);
}

TEST_F(Input, MouseWithoutAConsoleReturnsAtOnce) {
    memoryConsole.inputIsConsole = false;
    queueEvent(mouseEvent({1, 1, LEFT_BUTTON}));
    run({"MOUSE"});
    EXPECT_EQ(output(), "");
}

TEST_F(Input, TimePrintsDayOfWeekFirst) {
    memoryConsole.now = DateTime{2024, 3, 2, 5, 9, 7, 3, 45};
    EXPECT_EQ(run({"TIME", "ignored"}), 0);
    EXPECT_EQ(output(), "2 2024 3 5 9 7 3 45");
}

TEST_F(Input, SleepWantsExactlyOneCount) {
    run({"SLEEP", "500"});
    EXPECT_EQ(memoryConsole.sleptMilliseconds, 500u);
    run({"SLEEP"});
    run({"SLEEP", "500", "1"});
    run({"SLEEP", "-5"});
    EXPECT_EQ(memoryConsole.sleptMilliseconds, 500u);
    run({"SLEEP", "abc"});
    EXPECT_EQ(memoryConsole.sleptMilliseconds, 500u) << "no digits sleep 0 ms";
}

}  // namespace
