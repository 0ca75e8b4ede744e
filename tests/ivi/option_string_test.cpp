// The option string of a new session: the parser, and what reaches the session.
#include "ivi_test_support.h"

#include "ivi/src/option_string.h"

using namespace ivitest;
using qx::ivi::DriverOptions;
using ::testing::HasSubstr;

namespace {

using IviOptionString = IviTest;

// RangeCheck QueryInstrStatus Cache Simulate RecordCoercions InterchangeCheck, then DriverSetup.
std::string summary(const DriverOptions &o)
{
    std::string flags;
    for (bool flag : {o.rangeCheck, o.queryInstrStatus, o.cache, o.simulate, o.recordCoercions, o.interchangeCheck})
        flags += flag ? '1' : '0';
    return flags + " [" + o.driverSetup + "]";
}

TEST_F(IviOptionString, ParsesNamesAndValuesCaseInsensitivelyNamesEachKindOfMistakeABadOneCreatesNoSession)
{
    const struct {
        const char *text;
        ViStatus status;
        const char *expected; // the summary of what was parsed, or what the elaboration names
    } cases[] = {
        {"", VI_SUCCESS, "111000 []"},
        {"   ", VI_SUCCESS, "111000 []"},
        {"Simulate=1", VI_SUCCESS, "111100 []"},
        {" simulate = true , RANGECHECK=vi_false,cache=False,\tQueryInstrStatus = 0 , RecordCoercions=VI_TRUE, "
         "InterchangeCheck=1",
         VI_SUCCESS, "000111 []"},
        {"Simulate=1, DriverSetup= Model:7103QX, Port:2;Baud=9600 ", VI_SUCCESS,
         "111100 [Model:7103QX, Port:2;Baud=9600]"},
        {"driversetup=", VI_SUCCESS, "111000 []"},
        {"Cache=0,Cache=1", VI_SUCCESS, "111000 []"},
        {"=1", IVI_ERROR_MISSING_OPTION_NAME, "position 1"},
        {"Simulate=1,,Cache=0", IVI_ERROR_MISSING_OPTION_NAME, "position 12"},
        {"Simulate=1,", IVI_ERROR_MISSING_OPTION_NAME, "Simulate=1,"},
        {"Simulate", IVI_ERROR_MISSING_OPTION_VALUE, "\"Simulate\""},
        {"Cache= ,Simulate=1", IVI_ERROR_MISSING_OPTION_VALUE, "\"Cache\""},
        {"DriverSetup", IVI_ERROR_MISSING_OPTION_VALUE, "\"DriverSetup\""},
        {"Simulate=1, Simlate=1", IVI_ERROR_BAD_OPTION_NAME, "\"Simlate\""},
        {"Simulate=yes", IVI_ERROR_BAD_OPTION_VALUE, "\"yes\""},
        {"RangeCheck=1=1", IVI_ERROR_BAD_OPTION_VALUE, "\"1=1\""},
    };
    for (const auto &c : cases) {
        DriverOptions options;
        options.driverSetup = "stale";
        std::string elaboration;
        EXPECT_EQ(qx::ivi::parseOptionString(c.text, options, elaboration), c.status) << c.text;
        if (c.status == VI_SUCCESS)
            EXPECT_EQ(summary(options), c.expected) << c.text;
        else
            EXPECT_THAT(elaboration, HasSubstr(c.expected)) << c.text;
    }

    // For a new session null means "" (what a good one sets: session_test.cpp); a bad one creates none.
    const ViSession byDefault = open(nullptr);
    EXPECT_EQ(Ivi_Simulating(byDefault), VI_FALSE);
    EXPECT_EQ(Ivi_RangeChecking(byDefault) & Ivi_QueryInstrStatus(byDefault), VI_TRUE);

    ViSession bad = 1234;
    ASSERT_EQ(Ivi_SpecificDriverNew("QXTEST", "Simulate=1, Colour=blue", &bad), IVI_ERROR_BAD_OPTION_NAME);
    EXPECT_EQ(bad, ViSession{VI_NULL});
    ViStatus primary = 0; // recorded on no session
    ViChar text[IVI_MAX_MESSAGE_BUF_SIZE];
    ASSERT_EQ(Ivi_GetErrorInfo(VI_NULL, &primary, nullptr, text), VI_SUCCESS);
    EXPECT_EQ(primary, IVI_ERROR_BAD_OPTION_NAME);
    EXPECT_THAT(text, HasSubstr("Colour"));
}

} // namespace
