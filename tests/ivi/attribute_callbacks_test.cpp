// When the engine runs read, write and check-status callbacks and when its cache answers, with an
// instrument and in simulation.
#include "ivi_test_support.h"

using namespace ivitest;

namespace {

using IviAttributeCache = IviTest;
using IviSimulation = IviTest;
using IviStatusCheck = IviTest;

// The session, with the counting check-status callback installed.
ViSession withCheckStatus(ViSession vi)
{
    const auto callback = reinterpret_cast<ViAddr>(&ivitest::checkStatus);
    EXPECT_EQ(Ivi_SetAttributeViAddr(vi, "", IVI_ATTR_CHECK_STATUS_CALLBACK, 0, callback), VI_SUCCESS);
    return vi;
}

TEST_F(IviAttributeCache, AValidCacheAnswersGetsAndSkipsEqualWritesAFailedCallbackLeavesItInvalid)
{
    const IviRangeTableEntry entries[] = {{0, 10, 0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
    const IviRangeTable table = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr, entries};
    const ViSession vi = withInt("", 0, &table);
    for (ViInt32 value : {5, 5, 6})
        EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, value), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 6);
    EXPECT_EQ(calls.written, (std::vector<double>{5, 6}));
    EXPECT_EQ(calls.reads, 0);
    calls.answer = 8;
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrInt), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 8);
    EXPECT_EQ(getInt(vi), 8);
    EXPECT_EQ(calls.reads, 1);
    ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 8), VI_SUCCESS); // invalid cache: written again
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, IVI_VAL_SET_CACHE_ONLY, 99), VI_SUCCESS); // unchecked
    EXPECT_EQ(getInt(vi), 99);
    EXPECT_EQ(calls.written, (std::vector<double>{5, 6, 8}));
    EXPECT_EQ(calls.reads, 1);

    calls.writeStatus = VI_ERROR_TMO;
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 7), VI_ERROR_TMO);
    calls.writeStatus = VI_SUCCESS;
    calls.answer = 4;
    EXPECT_EQ(getInt(vi), 4); // read from the instrument, neither the 99 cached before nor the 7
    calls.readStatus = VI_ERROR_TMO;
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrInt), VI_SUCCESS);
    ViInt32 value = -1;
    EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", attrInt, 0, &value), VI_ERROR_TMO);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 4), VI_SUCCESS); // the failed read cached nothing
    EXPECT_EQ(calls.written, (std::vector<double>{5, 6, 8, 7, 4}));
    EXPECT_EQ(calls.reads, 3);
}

TEST_F(IviAttributeCache, NeverCacheAndCacheOffRunTheCallbacksEveryTimeWithoutOnesTheStoredValueAnswers)
{
    for (ViSession vi : {withInt("", IVI_VAL_NEVER_CACHE), withInt("Cache=0")}) {
        calls = Calls{};
        calls.answer = 3;
        for (int time = 0; time < 2; ++time) {
            EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), VI_SUCCESS);
            EXPECT_EQ(getInt(vi), 3);
        }
        EXPECT_EQ(calls.writes, 2);
        EXPECT_EQ(calls.reads, 2);
    }

    // Without callbacks, or with a silent read callback, the stored value or the default answers.
    calls = Calls{};
    const ViSession vi = open("");
    const auto silent = [](ViSession, ViSession, ViConstString, ViAttr, ViInt32 *) { return VI_SUCCESS; };
    ASSERT_EQ(Ivi_AddAttributeViInt32(vi, attrInt, "INT", 42, 0, nullptr, nullptr, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_AddAttributeViInt32(vi, attrInt + 1, "SILENT", 42, 0, silent, writeNumber<ViInt32>, nullptr),
              VI_SUCCESS);
    for (ViAttr id : {attrInt, attrInt + 1}) {
        EXPECT_EQ(valueOf(Ivi_GetAttributeViInt32, vi, id), 42);
        ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", id, 0, 7), VI_SUCCESS);
        ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
        EXPECT_EQ(valueOf(Ivi_GetAttributeViInt32, vi, id), 7);
    }
    EXPECT_EQ(calls.writes, 1);
}

TEST_F(IviAttributeCache, RealsCompareWithTheAttributesPrecision)
{
    const ViSession vi = open("");
    for (ViInt32 precision : {0, 3})
        ASSERT_EQ(addReal(vi, attrReal + precision, 0, 0, nullptr, precision), VI_SUCCESS);
    for (ViReal64 value : {1.0, 1.0 + 1e-15, 1.0 + 1e-12})
        ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, value), VI_SUCCESS);
    for (ViReal64 value : {100.0, 100.4, 99.6, 101.0}) // 3 significant digits
        ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal + 3, 0, value), VI_SUCCESS);
    EXPECT_EQ(calls.written, (std::vector<double>{1.0, 1.0 + 1e-12, 100.0, 101.0}));
}

TEST_F(IviSimulation, NoCallbackRunsButRangeChecksAndCheckCallbacksStillApply)
{
    const IviRangeTableEntry entries[] = {{0.0, 300.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
    const IviRangeTable table = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr, entries};
    const ViSession vi = withInt("Simulate=1", IVI_VAL_NEVER_CACHE);
    ASSERT_EQ(addReal(vi, attrReal, 300.0, IVI_VAL_MULTI_CHANNEL, &table), VI_SUCCESS);
    ASSERT_EQ(Ivi_BuildChannelTable(vi, "1", VI_FALSE, nullptr), VI_SUCCESS);
    EXPECT_EQ(valueOf(Ivi_GetAttributeViReal64, vi, attrReal, "1"), 300.0); // the default
    ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "1", attrReal, 0, 120.0), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "1", attrReal, 0, 300.5), IVI_ERROR_INVALID_VALUE);
    ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
    EXPECT_EQ(valueOf(Ivi_GetAttributeViReal64, vi, attrReal, "1"), 120.0);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 4), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetAttrCheckCallbackViInt32(vi, attrInt, checkNumber<ViInt32>), VI_SUCCESS);
    calls.checkStatus = IVI_ERROR_INVALID_VALUE;
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(getInt(vi), 4);
    EXPECT_EQ(calls.checks, 1);
    EXPECT_EQ(calls.reads + calls.writes, 0);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
}

TEST_F(IviStatusCheck, RunningACallbackMakesACheckDueADirectUserCallRunsItUnlessQuietOrSimulated)
{
    const ViSession vi = withCheckStatus(withInt(""));
    ASSERT_EQ(addInt(vi, attrInt + 1, IVI_VAL_DONT_CHECK_STATUS), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt + 1, 0, 1), VI_SUCCESS);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), VI_SUCCESS);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    EXPECT_EQ(calls.statusChecks, 0); // a driver-internal access: the driver checks itself
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_FALSE), VI_SUCCESS);
    getInt(vi); // from the cache
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrInt), VI_SUCCESS);
    getInt(vi);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    EXPECT_EQ(calls.reads, 1);

    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, IVI_VAL_DIRECT_USER_CALL, 2), VI_SUCCESS);
    EXPECT_EQ(calls.statusChecks, 1);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
    ViInt32 value = 0;
    ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", attrInt, IVI_VAL_DIRECT_USER_CALL, &value), VI_SUCCESS);
    EXPECT_EQ(calls.statusChecks, 1); // cached, nothing due
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(Ivi_GetAttributeViInt32(vi, "", attrInt, IVI_VAL_DIRECT_USER_CALL, &value), VI_SUCCESS);
    EXPECT_EQ(calls.statusChecks, 2);
    calls.statusCheckStatus = IVI_ERROR_INSTRUMENT_STATUS;
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, IVI_VAL_DIRECT_USER_CALL, 3), IVI_ERROR_INSTRUMENT_STATUS);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    calls.writeStatus = VI_ERROR_TMO; // a failed access is not followed by a check
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, IVI_VAL_DIRECT_USER_CALL, 4), VI_ERROR_TMO);
    EXPECT_EQ(calls.statusChecks, 3);

    // No check without status querying, in simulation or for a quiet attribute.
    calls = Calls{};
    for (ViSession quiet : {withInt("QueryInstrStatus=0"), withInt("Simulate=1"),
                            withInt("", IVI_VAL_DONT_CHECK_STATUS)}) {
        withCheckStatus(quiet);
        ASSERT_EQ(Ivi_SetNeedToCheckStatus(quiet, VI_TRUE), VI_SUCCESS);
        ASSERT_EQ(Ivi_SetAttributeViInt32(quiet, "", attrInt, IVI_VAL_DIRECT_USER_CALL, 2), VI_SUCCESS);
        EXPECT_EQ(Ivi_NeedToCheckStatus(quiet), VI_TRUE);
    }
    EXPECT_EQ(calls.statusChecks, 0);
}

} // namespace
