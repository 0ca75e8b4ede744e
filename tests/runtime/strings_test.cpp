#include "runtime/strings.h"

#include <gtest/gtest.h>

using namespace qx::runtime;

// (equalsNoCase and startsWithNoCase: the resource name and option string tests of visa and ivi.)
TEST(RuntimeStrings, CompareStringsComparesTailsFindPatternSearchesWithinTheArea)
{
    EXPECT_EQ(CompareStrings("ASRL", 0, "asrl", 0, false), 0);
    EXPECT_NE(CompareStrings("ASRL", 0, "asrl", 0, true), 0);
    EXPECT_LT(CompareStrings("ASR", 0, "ASRL", 0, false), 0);
    EXPECT_GT(CompareStrings("GPIB", 0, "ASRL", 0, false), 0);
    EXPECT_EQ(CompareStrings("xxASRL", 2, "ASRL", 0, true), 0);
    EXPECT_EQ(CompareStrings("AB", 5, "", 0, true), 0); // start past the end is an empty tail
    EXPECT_LT(CompareStrings("AB", -3, "ABC", 0, true), 0);

    // FindPattern: from left or right, within the area, nothing out of range.
    const char *text = "ZE,7103QX,12345,1.02";
    EXPECT_EQ(FindPattern(text, 0, -1, "qx", false, false), 7);
    EXPECT_EQ(FindPattern(text, 0, -1, "qx", true, false), -1);
    EXPECT_EQ(FindPattern(text, 0, -1, ",", true, true), 15);
    EXPECT_EQ(FindPattern(text, 3, 4, "QX", true, false), -1); // "7103" only
    EXPECT_EQ(FindPattern(text, 3, 6, "QX", true, false), 7);
    // Out-of-range arguments find nothing.
    struct Area { int start, length; const char *pattern; };
    for (const Area a : {Area{-1, -1, "a"}, Area{4, -1, "a"}, Area{0, -1, ""}, Area{0, -1, "abcd"}, Area{3, 10, "c"}})
        EXPECT_EQ(FindPattern("abc", a.start, a.length, a.pattern, true, false), -1) << a.start << a.pattern;
}
