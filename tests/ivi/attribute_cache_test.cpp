// When the engine runs read and write callbacks and when its cache answers.
#include "ivi_test_support.h"

using namespace ivitest;

namespace {

class IviAttributeCache : public IviTest {};

TEST_F(IviAttributeCache, AnEqualValidCacheSkipsTheWriteAndAnswersGets)
{
    const ViSession vi = withInt("");
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
    EXPECT_EQ(calls.written, (std::vector<double>{5, 6, 8}));
}

TEST_F(IviAttributeCache, NeverCacheAndCacheOffRunTheCallbacksEveryTime)
{
    for (ViSession vi : {withInt("", IVI_VAL_NEVER_CACHE), withInt("Cache=0")}) {
        calls = Calls{};
        calls.answer = 3;
        EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), VI_SUCCESS);
        EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), VI_SUCCESS);
        EXPECT_EQ(getInt(vi), 3);
        EXPECT_EQ(getInt(vi), 3);
        EXPECT_EQ(calls.writes, 2);
        EXPECT_EQ(calls.reads, 2);
    }
}

TEST_F(IviAttributeCache, FailedCallbacksLeaveTheCacheInvalid)
{
    const ViSession vi = withInt("");
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 5), VI_SUCCESS);
    calls.writeStatus = VI_ERROR_TMO;
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 6), VI_ERROR_TMO);
    calls.writeStatus = VI_SUCCESS;
    calls.answer = 4;
    EXPECT_EQ(getInt(vi), 4); // read from the instrument, not the 5 cached before
    calls.readStatus = VI_ERROR_TMO;
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrInt), VI_SUCCESS);
    ViInt32 value = -1;
    EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", attrInt, 0, &value), VI_ERROR_TMO);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 4), VI_SUCCESS); // the failed read cached nothing
    EXPECT_EQ(calls.written, (std::vector<double>{5, 6, 4}));
    EXPECT_EQ(calls.reads, 2);
}

TEST_F(IviAttributeCache, WithoutCallbacksTheStoredValueOrTheDefaultAnswers)
{
    const ViSession vi = open("");
    ASSERT_EQ(Ivi_AddAttributeViInt32(vi, attrInt, "INT", 42, 0, nullptr, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 42);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 7), VI_SUCCESS);
    ASSERT_EQ(Ivi_InvalidateAllAttributes(vi), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 7);

    // A read callback that supplies nothing leaves the stored value too.
    const ViSession silent = open("");
    ASSERT_EQ(Ivi_AddAttributeViInt32(silent, attrInt, "INT", 2, 0, [](ViSession, ViSession, ViConstString, ViAttr,
                                                                        ViInt32 *) { return VI_SUCCESS; },
                                      writeNumber<ViInt32>, nullptr),
              VI_SUCCESS);
    EXPECT_EQ(getInt(silent), 2);
    ASSERT_EQ(Ivi_SetAttributeViInt32(silent, "", attrInt, 0, 9), VI_SUCCESS);
    ASSERT_EQ(Ivi_InvalidateAttribute(silent, "", attrInt), VI_SUCCESS);
    EXPECT_EQ(getInt(silent), 9);
}

TEST_F(IviAttributeCache, SetCacheOnlyStoresWithoutCheckOrWrite)
{
    const IviRangeTableEntry entries[] = {{0, 10, 0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
    const IviRangeTable table = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr, entries};
    const ViSession vi = withInt("", 0, &table);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, IVI_VAL_SET_CACHE_ONLY, 99), VI_SUCCESS);
    EXPECT_EQ(getInt(vi), 99);
    EXPECT_EQ(calls.writes + calls.reads, 0);
}

TEST_F(IviAttributeCache, RealsCompareWithTheAttributesPrecision)
{
    const ViSession vi = open("");
    for (ViInt32 precision : {0, 3})
        ASSERT_EQ(Ivi_AddAttributeViReal64(vi, attrReal + precision, "REAL", 0, 0, readNumber<ViReal64>,
                                           writeNumber<ViReal64>, nullptr, precision),
                  VI_SUCCESS);
    for (ViReal64 value : {1.0, 1.0 + 1e-15, 1.0 + 1e-12})
        ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, value), VI_SUCCESS);
    for (ViReal64 value : {100.0, 100.4, 99.6, 101.0}) // 3 significant digits
        ASSERT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal + 3, 0, value), VI_SUCCESS);
    EXPECT_EQ(calls.written, (std::vector<double>{1.0, 1.0 + 1e-12, 100.0, 101.0}));
}

} // namespace
