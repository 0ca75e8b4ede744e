#include "ivi_test_support.h"

using namespace ivitest;

namespace {

const IviRangeTableEntry entries[] = {{0.0, 300.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTable table = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr, entries};

class IviSimulation : public IviTest {};

TEST_F(IviSimulation, NoCallbackRunsSetsStoreAndGetsAnswerTheStoredValueOrTheDefault)
{
    const ViSession vi = withInt("Simulate=1", IVI_VAL_NEVER_CACHE);
    ASSERT_EQ(Ivi_AddAttributeViReal64(vi, attrReal, "LIMIT", 300.0, IVI_VAL_MULTI_CHANNEL, readNumber<ViReal64>,
                                       writeNumber<ViReal64>, &table, 0),
              VI_SUCCESS);
    ASSERT_EQ(Ivi_BuildChannelTable(vi, "1", VI_FALSE, nullptr), VI_SUCCESS);
    ViReal64 limit = 0;
    ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "1", attrReal, 0, &limit), VI_SUCCESS);
    EXPECT_EQ(limit, 300.0);
    ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "1", attrReal, 0, 120.0), VI_SUCCESS);
    ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
    ASSERT_EQ(Ivi_GetAttributeViReal64(vi, "1", attrReal, 0, &limit), VI_SUCCESS);
    EXPECT_EQ(limit, 120.0);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 4), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 4);
    EXPECT_EQ(calls.reads + calls.writes, 0);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
}

TEST_F(IviSimulation, RangeChecksAndCheckCallbacksStillApply)
{
    const ViSession vi = withInt("Simulate=1");
    ASSERT_EQ(Ivi_AddAttributeViReal64(vi, attrReal, "LIMIT", 300.0, 0, nullptr, nullptr, &table, 0), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 300.5), IVI_ERROR_INVALID_VALUE);
    ASSERT_EQ(Ivi_SetAttrCheckCallbackViInt32(vi, attrInt, checkNumber<ViInt32>), VI_SUCCESS);
    calls.checkStatus = IVI_ERROR_INVALID_VALUE;
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(calls.checks, 1);
}

TEST_F(IviSimulation, CallbacksRunForFlaggedAndInherentAttributes)
{
    const ViSession vi = withInt("Simulate=1", IVI_VAL_USE_CALLBACKS_FOR_SIMULATION);
    calls.answer = 6;
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 3), VI_SUCCESS);
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrInt), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 6);
    EXPECT_EQ(calls.writes, 1);

    calls.textAnswer = "Driver: QXTEST 1.0";
    ASSERT_EQ(Ivi_SetAttrReadCallbackViString(vi, IVI_ATTR_SPECIFIC_DRIVER_REVISION, readText), VI_SUCCESS);
    ViChar revision[256] = "";
    ASSERT_EQ(Ivi_GetAttributeViString(vi, "", IVI_ATTR_SPECIFIC_DRIVER_REVISION, 0, -1, revision), VI_SUCCESS);
    EXPECT_STREQ(revision, "Driver: QXTEST 1.0");
    EXPECT_EQ(calls.reads, 2);
}

} // namespace
