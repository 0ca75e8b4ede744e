// Error information (the first error stays; VI_NULL holds its own per thread) and status texts.
#include "ivi_test_support.h"

#include "visa/visa.h"

#include <thread>
#include <tuple>

using namespace ivitest;

namespace {

// Primary, secondary, elaboration: what Ivi_GetErrorInfo hands out.
using Info = std::tuple<ViStatus, ViStatus, std::string>;

Info take(ViSession vi, ViStatus expected = VI_SUCCESS)
{
    ViStatus primary = 1, secondary = 1;
    ViChar text[IVI_MAX_MESSAGE_BUF_SIZE] = "stale";
    EXPECT_EQ(Ivi_GetErrorInfo(vi, &primary, &secondary, text), expected);
    return {primary, secondary, text};
}

// Runs on a session and on no session (VI_NULL).
class IviErrorInfo : public IviTest, public ::testing::WithParamInterface<bool> {};

TEST_P(IviErrorInfo, TheFirstErrorStaysUntilHandedOutClearedOrOverwritten)
{
    const ViSession vi = GetParam() ? open("Simulate=1") : VI_NULL;
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, VI_ERROR_PARAMETER3, "Voltage Limit"), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_INVALID_VALUE, 0, "later"), VI_SUCCESS);
    EXPECT_EQ(take(vi), (Info{VI_ERROR_TMO, VI_ERROR_PARAMETER3, "Voltage Limit"}));
    EXPECT_EQ(take(vi), (Info{VI_SUCCESS, VI_SUCCESS, ""})); // handing out cleared it

    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_TRUE, IVI_ERROR_INVALID_VALUE, 0, "overwritten"), VI_SUCCESS);
    EXPECT_EQ(take(vi), (Info{IVI_ERROR_INVALID_VALUE, VI_SUCCESS, "overwritten"}));
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_ClearErrorInfo(vi), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_NULL_POINTER, 0, nullptr), VI_SUCCESS);
    ViStatus primary = 0; // null outputs are allowed
    ASSERT_EQ(Ivi_GetErrorInfo(vi, &primary, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(primary, IVI_ERROR_NULL_POINTER);

    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, std::string(300, 'x').c_str()), VI_SUCCESS);
    EXPECT_EQ(take(vi), (Info{VI_ERROR_TMO, VI_SUCCESS, std::string(255, 'x')}));
}

INSTANTIATE_TEST_SUITE_P(OnSessionAndOnNoSession, IviErrorInfo, ::testing::Bool());

TEST_F(IviTest, NoSessionKeepsItsInformationPerThreadAndApartFromSessions)
{
    const ViSession vi = open("Simulate=1");
    ASSERT_EQ(Ivi_SetErrorInfo(VI_NULL, VI_FALSE, VI_ERROR_TMO, 0, "main"), VI_SUCCESS);
    Info seenByOther{1, 1, "unset"};
    std::thread([&] {
        seenByOther = take(VI_NULL);
        Ivi_SetErrorInfo(VI_NULL, VI_FALSE, IVI_ERROR_INVALID_VALUE, 0, "other");
    }).join();
    EXPECT_EQ(seenByOther, (Info{VI_SUCCESS, VI_SUCCESS, ""}));
    EXPECT_EQ(take(vi), (Info{VI_SUCCESS, VI_SUCCESS, ""}));
    EXPECT_EQ(take(VI_NULL), (Info{VI_ERROR_TMO, VI_SUCCESS, "main"}));

    // An invalid session hands out nothing stale.
    EXPECT_EQ(take(0xDEAD, IVI_ERROR_INVALID_SESSION_HANDLE), (Info{VI_SUCCESS, VI_SUCCESS, ""}));
}

const IviStringValueTableEntry driverTable[] = {
    {static_cast<ViInt32>(0xBFFA200F), "Waveform in use."},
    {IVI_ERROR_INVALID_VALUE, "The driver's own words."},
    {0, nullptr},
};

std::string describe(ViSession vi, ViStatus code, IviStringValueTable table = driverTable)
{
    ViChar message[IVI_MAX_MESSAGE_BUF_SIZE] = "unset";
    EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(vi, code, message, table), VI_SUCCESS) << std::hex << code;
    return message;
}

TEST_F(IviTest, TheDriverTableComesFirstThenTheEngineThenVisaThenAGenericTextAndParameterPositionsHaveCodes)
{
    EXPECT_EQ(describe(VI_NULL, static_cast<ViStatus>(0xBFFA200F)), "Waveform in use.");
    EXPECT_EQ(describe(VI_NULL, IVI_ERROR_INVALID_VALUE), "The driver's own words.");
    EXPECT_EQ(describe(VI_NULL, IVI_ERROR_INVALID_VALUE, nullptr), "Invalid value for parameter or property.");
    EXPECT_EQ(describe(VI_NULL, static_cast<ViStatus>(0xBFFA4001)), "Unknown status code 0xBFFA4001.");
    EXPECT_EQ(describe(VI_NULL, static_cast<ViStatus>(0xBFFF7777)), "Unknown status code 0xBFFF7777.");
    const ViSession vi = open("");
    for (ViStatus code : {VI_ERROR_TMO, ViStatus{VI_SUCCESS_MAX_CNT}}) {
        ViChar expected[256] = "";
        ASSERT_EQ(viStatusDesc(Ivi_IOSession(vi), code, expected), VI_SUCCESS);
        EXPECT_EQ(describe(vi, code), expected);
        EXPECT_EQ(describe(VI_NULL, code), expected);
    }

    // A null buffer is refused; a stale session is reported, and its code still translated.
    EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(VI_NULL, 0, nullptr, driverTable), IVI_ERROR_NULL_POINTER);
    ViChar message[IVI_MAX_MESSAGE_BUF_SIZE] = "";
    EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(0xDEAD, static_cast<ViStatus>(0xBFFA200F), message, driverTable),
              IVI_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_STREQ(message, "Waveform in use.");

    // Parameter positions 1 to 8 have codes of their own.
    EXPECT_EQ(Ivi_ParamPositionError(1), static_cast<ViStatus>(0xBFFC0001));
    EXPECT_EQ(Ivi_ParamPositionError(8), static_cast<ViStatus>(0xBFFC0008));
    for (ViInt32 position : {-1, 0, 9})
        EXPECT_EQ(Ivi_ParamPositionError(position), IVI_ERROR_INVALID_PARAMETER);
}

} // namespace
