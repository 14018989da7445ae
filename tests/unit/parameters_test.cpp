// Parameters read as the Windows C runtime (32-bit long) reads them.
#include <gtest/gtest.h>

#include "dispatch/parameters.h"
#include "run.h"

namespace {

TEST(Numbers, UnsignedReadsLikeA32BitStrtoul) {
    EXPECT_EQ(parseUnsigned("  +12x", 10), 12u);
    EXPECT_EQ(parseUnsigned("-2", 10), 0xFFFFFFFEu);
    EXPECT_EQ(parseUnsigned("0x1f", 16), 0x1Fu);
    EXPECT_EQ(parseUnsigned("-0x1", 16), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned("zz", 16), 0u);
    EXPECT_EQ(parseUnsigned("+-5", 10), 0u);
    EXPECT_EQ(parseUnsigned("4294967295", 10), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned("4294967296", 10), 0xFFFFFFFFu) << "saturates, never wraps";
    EXPECT_EQ(parseUnsigned("-4294967296", 10), 1u) << "saturates, then the minus negates";
    EXPECT_EQ(parseUnsigned("- 5", 10), 0u) << "a blank after the sign: no number";
    EXPECT_EQ(parseUnsigned("-\t5", 16), 0u);
    EXPECT_EQ(parseUnsigned("-4294967295", 10), 1u);
    EXPECT_EQ(parseUnsigned("FFFFFFFFFF", 16), 0xFFFFFFFFu);
}

TEST(Numbers, LongReadsLikeA32BitAtolThatWraps) {
    EXPECT_EQ(parseLong(" -25"), -25);
    EXPECT_EQ(parseLong("\t+7up"), 7);
    EXPECT_EQ(parseLong("x"), 0);
    EXPECT_EQ(parseLong("- 5"), 0);
    EXPECT_EQ(parseLong("4294967296"), 0);
    EXPECT_EQ(parseLong("4294967297"), 1);
    EXPECT_EQ(parseLong("2147483648"), -2147483647 - 1);
    EXPECT_EQ(parseLong("99999999999999999999"), static_cast<int32_t>(0x630FFFFFu));
}

TEST(Numbers, CommandsSeeThe32BitValues) {
    resetMemoryConsole();
    run({"PRINT", "4294967296", "0", "07", "X"});  // row -1: off the screen
    EXPECT_EQ(memoryConsole.cellWrites, 0);
    run({"CURSOR", "4294967296"});  // wraps to 0: hides
    EXPECT_FALSE(memoryConsole.cursorShape.visible);
    run({"SLEEP", "4294967396"});  // wraps to 100
    EXPECT_EQ(memoryConsole.sleptMilliseconds, 100u);
}

}  // namespace
