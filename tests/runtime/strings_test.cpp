#include "runtime/strings.h"

#include <gtest/gtest.h>

using namespace qx::runtime;

TEST(CompareStrings, ComparesTailsWithOrWithoutCase)
{
    EXPECT_EQ(CompareStrings("ASRL", 0, "asrl", 0, false), 0);
    EXPECT_NE(CompareStrings("ASRL", 0, "asrl", 0, true), 0);
    EXPECT_LT(CompareStrings("ASR", 0, "ASRL", 0, false), 0);
    EXPECT_GT(CompareStrings("GPIB", 0, "ASRL", 0, false), 0);
    EXPECT_EQ(CompareStrings("xxASRL", 2, "ASRL", 0, true), 0);
    EXPECT_EQ(CompareStrings("AB", 5, "", 0, true), 0); // start past the end is an empty tail
    EXPECT_LT(CompareStrings("AB", -3, "ABC", 0, true), 0);
}

TEST(FindPattern, FindsFromLeftOrRightWithinTheArea)
{
    const char *text = "ZE,7103QX,12345,1.02";
    EXPECT_EQ(FindPattern(text, 0, -1, "qx", false, false), 7);
    EXPECT_EQ(FindPattern(text, 0, -1, "qx", true, false), -1);
    EXPECT_EQ(FindPattern(text, 0, -1, ",", true, true), 15);
    EXPECT_EQ(FindPattern(text, 3, 4, "QX", true, false), -1); // "7103" only
    EXPECT_EQ(FindPattern(text, 3, 6, "QX", true, false), 7);
}

TEST(FindPattern, RejectsOutOfRangeArguments)
{
    EXPECT_EQ(FindPattern("abc", -1, -1, "a", true, false), -1);
    EXPECT_EQ(FindPattern("abc", 4, -1, "a", true, false), -1);
    EXPECT_EQ(FindPattern("abc", 0, -1, "", true, false), -1);
    EXPECT_EQ(FindPattern("abc", 0, -1, "abcd", true, false), -1);
    EXPECT_EQ(FindPattern("abc", 3, 10, "c", true, false), -1);
}

TEST(StartsWithNoCase, HandlesShortTexts)
{
    EXPECT_TRUE(startsWithNoCase("asrl1::INSTR", "ASRL"));
    EXPECT_FALSE(startsWithNoCase("ASR", "ASRL"));
    EXPECT_FALSE(equalsNoCase("ASRL", "ASRL1"));
}
