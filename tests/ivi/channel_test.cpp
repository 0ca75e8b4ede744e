#include "ivi_test_support.h"

using namespace ivitest;

namespace {

class IviChannels : public IviTest {
protected:
    // A per-channel attribute whose callbacks run although the session simulates.
    ViSession withChannels(const char *list, ViBoolean allowUnknown)
    {
        const ViSession vi = withInt("Simulate=1", IVI_VAL_MULTI_CHANNEL | IVI_VAL_USE_CALLBACKS_FOR_SIMULATION);
        EXPECT_EQ(Ivi_BuildChannelTable(vi, list, allowUnknown, nullptr), VI_SUCCESS);
        EXPECT_EQ(Ivi_AddAttributeViInt32(vi, attrInt + 1, "WIDE", 0, 0, nullptr, nullptr, nullptr), VI_SUCCESS);
        return vi;
    }
};

TEST_F(IviChannels, PerChannelAttributesKeepAValuePerKnownChannel)
{
    const ViSession vi = withChannels(" 1 , 2", VI_FALSE);
    ViInt32 count = 0;
    ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_CHANNEL_COUNT, 0, &count), VI_SUCCESS);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "1", attrInt, 0, 5), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "2", attrInt, 0, 7), VI_SUCCESS);
    EXPECT_EQ(getInt(vi, "1"), 5);
    EXPECT_EQ(getInt(vi, "2"), 7);
    EXPECT_EQ(calls.channels, (std::vector<std::string>{"1", "2"}));

    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, nullptr, attrInt, 0, 1), IVI_ERROR_CHANNEL_NAME_REQUIRED);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), IVI_ERROR_CHANNEL_NAME_REQUIRED);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "3", attrInt, 0, 1), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(Ivi_InvalidateAttribute(vi, "3", attrInt), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "1", attrInt + 1, 0, 1), IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, nullptr, attrInt + 1, 0, 1), VI_SUCCESS);
    EXPECT_EQ(calls.writes, 2);
}

TEST_F(IviChannels, CoercionFindsTableNamesAndAdmitsUnknownOnesOnlyWhenAllowed)
{
    const ViSession strict = withChannels("1", VI_FALSE);
    ViConstString coerced = nullptr;
    ASSERT_EQ(Ivi_CoerceChannelName(strict, "1", &coerced), VI_SUCCESS);
    EXPECT_STREQ(coerced, "1");
    EXPECT_EQ(Ivi_CoerceChannelName(strict, "A", &coerced), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(Ivi_CoerceChannelName(strict, "", &coerced), IVI_ERROR_CHANNEL_NAME_REQUIRED);
    EXPECT_EQ(Ivi_CoerceChannelName(strict, "1", nullptr), IVI_ERROR_NULL_POINTER);
    for (const char *bad : {"1,,2", "1,1"}) // the table stays as it was
        EXPECT_EQ(Ivi_BuildChannelTable(strict, bad, VI_FALSE, nullptr), IVI_ERROR_INVALID_VALUE) << bad;
    EXPECT_EQ(Ivi_BuildChannelTable(strict, nullptr, VI_FALSE, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_CoerceChannelName(strict, "1", &coerced), VI_SUCCESS);

    const ViSession lenient = withChannels("1", VI_TRUE);
    ASSERT_EQ(Ivi_CoerceChannelName(lenient, "A", &coerced), VI_SUCCESS);
    EXPECT_STREQ(coerced, "A");
    EXPECT_EQ(Ivi_SetAttributeViInt32(lenient, "A", attrInt, 0, 3), VI_SUCCESS);
    EXPECT_EQ(calls.channels, std::vector<std::string>{"A"});
}

} // namespace
