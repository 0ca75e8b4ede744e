#include "ivi_test_support.h"

#include "visa/visa.h"

using namespace ivitest;

namespace {

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

TEST(IviStatusDesc, TheDriverTableComesFirstThenTheEngineThenAGenericText)
{
    EXPECT_EQ(describe(VI_NULL, static_cast<ViStatus>(0xBFFA200F)), "Waveform in use.");
    EXPECT_EQ(describe(VI_NULL, IVI_ERROR_INVALID_VALUE), "The driver's own words.");
    EXPECT_EQ(describe(VI_NULL, IVI_ERROR_INVALID_VALUE, nullptr), "Invalid value for parameter or property.");
    EXPECT_EQ(describe(VI_NULL, IVI_ERROR_INSTRUMENT_STATUS),
              "Instrument error detected.  Use ErrorQuery to determine the error(s).");
    EXPECT_EQ(describe(VI_NULL, VI_ERROR_PARAMETER3), "Parameter 3 out of range, or error trying to set it.");
    EXPECT_EQ(describe(VI_NULL, static_cast<ViStatus>(0xBFFA4001)), "Unknown status code 0xBFFA4001.");
    EXPECT_EQ(describe(VI_NULL, static_cast<ViStatus>(0xBFFF7777)), "Unknown status code 0xBFFF7777.");
}

TEST(IviStatusDesc, RefusesANullBufferAndStillTranslatesForAStaleSession)
{
    EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(VI_NULL, 0, nullptr, driverTable), IVI_ERROR_NULL_POINTER);
    ViChar message[IVI_MAX_MESSAGE_BUF_SIZE] = "";
    EXPECT_EQ(Ivi_GetSpecificDriverStatusDesc(0xDEAD, static_cast<ViStatus>(0xBFFA200F), message, driverTable),
              IVI_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_STREQ(message, "Waveform in use.");
}

class IviStatusDescOfVisa : public IviTest {};

TEST_F(IviStatusDescOfVisa, VisaCodesGetVisaTexts)
{
    const ViSession vi = open("");
    for (ViStatus code : {VI_ERROR_TMO, VI_ERROR_RSRC_NFOUND, ViStatus{VI_SUCCESS_MAX_CNT}}) {
        ViChar expected[256] = "";
        ASSERT_EQ(viStatusDesc(Ivi_IOSession(vi), code, expected), VI_SUCCESS);
        EXPECT_EQ(describe(vi, code), expected);
        EXPECT_EQ(describe(VI_NULL, code), expected);
    }
}

} // namespace
