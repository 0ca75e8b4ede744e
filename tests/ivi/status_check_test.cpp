// The need-to-check flag and the check-status callback the engine runs after direct user calls.
#include "ivi_test_support.h"

using namespace ivitest;

namespace {

class IviStatusCheck : public IviTest {
protected:
    ViSession withCheckStatus(const char *options, IviAttrFlags flags = 0)
    {
        const ViSession vi = withInt(options, flags);
        EXPECT_EQ(Ivi_SetAttributeViAddr(vi, "", IVI_ATTR_CHECK_STATUS_CALLBACK, 0,
                                         reinterpret_cast<ViAddr>(&ivitest::checkStatus)),
                  VI_SUCCESS);
        return vi;
    }
};

TEST_F(IviStatusCheck, RunningAReadOrWriteCallbackMakesACheckDue)
{
    const ViSession vi = withInt("");
    ASSERT_EQ(Ivi_AddAttributeViInt32(vi, attrInt + 1, "QUIET", 0, IVI_VAL_DONT_CHECK_STATUS, readNumber<ViInt32>,
                                      writeNumber<ViInt32>, nullptr),
              VI_SUCCESS);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt + 1, 0, 1), VI_SUCCESS);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), VI_SUCCESS);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_FALSE), VI_SUCCESS);
    getInt(vi); // from the cache
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_FALSE);
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrInt), VI_SUCCESS);
    getInt(vi);
    EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    EXPECT_EQ(calls.reads, 1);
}

TEST_F(IviStatusCheck, ADirectUserCallRunsTheCheckWhenOneIsDueAndClearsTheFlag)
{
    const ViSession vi = withCheckStatus("");
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), VI_SUCCESS);
    EXPECT_EQ(calls.statusChecks, 0); // a driver-internal access: the driver checks itself
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
}

TEST_F(IviStatusCheck, NoCheckWithoutStatusQueryingInSimulationOrForQuietAttributes)
{
    for (ViSession vi : {withCheckStatus("QueryInstrStatus=0"), withCheckStatus("Simulate=1"),
                         withCheckStatus("", IVI_VAL_DONT_CHECK_STATUS)}) {
        ASSERT_EQ(Ivi_SetNeedToCheckStatus(vi, VI_TRUE), VI_SUCCESS);
        ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, IVI_VAL_DIRECT_USER_CALL, 2), VI_SUCCESS);
        EXPECT_EQ(Ivi_NeedToCheckStatus(vi), VI_TRUE);
    }
    EXPECT_EQ(calls.statusChecks, 0);
}

} // namespace
