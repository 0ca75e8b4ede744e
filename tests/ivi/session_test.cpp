#include "ivi_test_support.h"

#include "visa/visa.h"

#include <functional>

using namespace ivitest;

namespace {

class IviSession : public IviTest {};

TEST_F(IviSession, EveryServiceRefusesNullDisposedAndMadeUpHandles)
{
    ViInt32 number = 0;
    ViChar text[256];
    ViConstString coerced = nullptr;
    const std::function<ViStatus(ViSession)> services[] = {
        [](ViSession vi) { return Ivi_Dispose(vi); },
        [](ViSession vi) { return Ivi_LockSession(vi, nullptr); },
        [](ViSession vi) { return Ivi_UnlockSession(vi, nullptr); },
        [](ViSession vi) { return Ivi_SetErrorInfo(vi, VI_FALSE, -1, 0, "x"); },
        [&](ViSession vi) { return Ivi_GetErrorInfo(vi, nullptr, nullptr, text); },
        [](ViSession vi) { return Ivi_ClearErrorInfo(vi); },
        [](ViSession vi) { return Ivi_SetNeedToCheckStatus(vi, VI_TRUE); },
        [](ViSession vi) { return Ivi_BuildChannelTable(vi, "1", VI_FALSE, nullptr); },
        [&](ViSession vi) { return Ivi_CoerceChannelName(vi, "1", &coerced); },
        [](ViSession vi) { return Ivi_AddAttributeViInt32(vi, attrInt, "A", 0, 0, nullptr, nullptr, nullptr); },
        [](ViSession vi) { return Ivi_SetAttrCheckCallbackViInt32(vi, attrInt, nullptr); },
        [](ViSession vi) { return Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_CACHE, 0, VI_TRUE); },
        [&](ViSession vi) { return Ivi_GetAttributeViInt32(vi, "", IVI_ATTR_CHANNEL_COUNT, 0, &number); },
        [&](ViSession vi) { return Ivi_GetAttributeViString(vi, "", IVI_ATTR_DRIVER_SETUP, 0, 256, text); },
        [](ViSession vi) { return Ivi_CheckAttributeViBoolean(vi, "", IVI_ATTR_CACHE, 0, VI_TRUE); },
        [](ViSession vi) { return Ivi_InvalidateAllAttributes(vi); },
        [](ViSession vi) { return Ivi_InvalidateAttribute(vi, "", IVI_ATTR_CACHE); },
        [](ViSession vi) { return Ivi_SetValInStringCallback(vi, IVI_ATTR_DRIVER_SETUP, "x"); },
        [](ViSession vi) { return Ivi_WriteInstrData(vi, "*CLS"); },
        [&](ViSession vi) { return Ivi_ReadInstrData(vi, 10, text, &number); },
        [&](ViSession vi) { return Ivi_GetSpecificDriverStatusDesc(vi, 0, text, nullptr); },
    };
    const ViSession disposed = open("Simulate=1");
    ASSERT_EQ(Ivi_Dispose(disposed), VI_SUCCESS);
    const ViSession live = open("Simulate=1");
    for (size_t i = 0; i < std::size(services); ++i)
        for (ViSession bad : {disposed, live + 1000, ViSession{0xFFFFFFFF}})
            EXPECT_EQ(services[i](bad), IVI_ERROR_INVALID_SESSION_HANDLE) << "service " << i << " on " << bad;
    for (ViSession bad : {ViSession{VI_NULL}, disposed}) {
        EXPECT_EQ(Ivi_Simulating(bad) | Ivi_RangeChecking(bad) | Ivi_QueryInstrStatus(bad) |
                      Ivi_UseSpecificSimulation(bad) | Ivi_NeedToCheckStatus(bad),
                  VI_FALSE);
        EXPECT_EQ(Ivi_IOSession(bad), ViSession{VI_NULL});
        EXPECT_EQ(Ivi_LockSession(bad, nullptr), IVI_ERROR_INVALID_SESSION_HANDLE);
    }
    EXPECT_EQ(Ivi_Dispose(VI_NULL), VI_SUCCESS);
    EXPECT_EQ(Ivi_GetAttributeViInt32(live, "", IVI_ATTR_CHANNEL_COUNT, 0, &number), VI_SUCCESS);
}

TEST_F(IviSession, HandlesAreNeverReusedAndNullArgumentsAreRefused)
{
    ViSession previous = VI_NULL;
    for (int i = 0; i < 5; ++i) {
        ViSession vi = VI_NULL;
        ASSERT_EQ(Ivi_SpecificDriverNew("QXTEST", "Simulate=1", &vi), VI_SUCCESS);
        EXPECT_GT(vi, previous);
        ASSERT_EQ(Ivi_Dispose(vi), VI_SUCCESS);
        previous = vi;
    }
    EXPECT_EQ(Ivi_SpecificDriverNew("QXTEST", "Simulate=1", nullptr), IVI_ERROR_NULL_POINTER);
    ViSession vi = 77;
    EXPECT_EQ(Ivi_SpecificDriverNew(nullptr, "Simulate=1", &vi), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(vi, ViSession{VI_NULL});
}

TEST_F(IviSession, HoldsTheInherentAttributes)
{
    const ViSession vi = open("Simulate=1, DriverSetup=Model:7103QX");
    const std::pair<ViAttr, ViBoolean> booleans[] = {
        {IVI_ATTR_RANGE_CHECK, VI_TRUE},           {IVI_ATTR_QUERY_INSTRUMENT_STATUS, VI_TRUE},
        {IVI_ATTR_CACHE, VI_TRUE},                 {IVI_ATTR_SIMULATE, VI_TRUE},
        {IVI_ATTR_RECORD_COERCIONS, VI_FALSE},     {IVI_ATTR_INTERCHANGE_CHECK, VI_FALSE},
        {IVI_ATTR_USE_SPECIFIC_SIMULATION, VI_TRUE}, {IVI_ATTR_SUPPORTS_WR_BUF_OPER_MODE, VI_FALSE}};
    for (const auto &[id, expected] : booleans) {
        ViBoolean value = 99;
        EXPECT_EQ(Ivi_GetAttributeViBoolean(vi, "", id, 0, &value), VI_SUCCESS);
        EXPECT_EQ(value, expected) << id;
    }
    const std::pair<ViAttr, const char *> texts[] = {{IVI_ATTR_DRIVER_SETUP, "Model:7103QX"},
                                                     {IVI_ATTR_SPECIFIC_DRIVER_PREFIX, "QXTEST"},
                                                     {IVI_ATTR_IO_RESOURCE_DESCRIPTOR, ""},
                                                     {IVI_ATTR_SPECIFIC_DRIVER_REVISION, ""}};
    for (const auto &[id, expected] : texts) {
        ViChar value[256] = "unset";
        EXPECT_EQ(Ivi_GetAttributeViString(vi, "", id, 0, 256, value), VI_SUCCESS);
        EXPECT_STREQ(value, expected) << id;
    }
    for (ViAttr id : {IVI_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION, IVI_ATTR_SPECIFIC_DRIVER_MINOR_VERSION,
                      IVI_ATTR_CHANNEL_COUNT}) {
        ViInt32 value = -1;
        EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", id, 0, &value), VI_SUCCESS);
        EXPECT_EQ(value, 0) << id;
    }
    for (ViAttr id : {IVI_ATTR_IO_SESSION, IVI_ATTR_VISA_RM_SESSION}) { // simulated: no VISA at all
        ViSession value = 99;
        EXPECT_EQ(Ivi_GetAttributeViSession(vi, "", id, 0, &value), VI_SUCCESS);
        EXPECT_EQ(value, ViSession{VI_NULL}) << id;
    }
    for (ViAttr id : {IVI_ATTR_OPC_CALLBACK, IVI_ATTR_CHECK_STATUS_CALLBACK}) {
        ViAddr value = &value;
        EXPECT_EQ(Ivi_GetAttributeViAddr(vi, "", id, 0, &value), VI_SUCCESS);
        EXPECT_EQ(value, nullptr) << id;
    }
    // The driver sets what users may only read, or may not see at all.
    EXPECT_EQ(Ivi_SetAttributeViString(vi, "", IVI_ATTR_DRIVER_SETUP, IVI_VAL_DIRECT_USER_CALL, "x"),
              IVI_ERROR_ATTR_NOT_WRITABLE);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", IVI_ATTR_SPECIFIC_DRIVER_MAJOR_VERSION, 0, 1), VI_SUCCESS);
    ViSession io = 0;
    EXPECT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, IVI_VAL_DIRECT_USER_CALL, &io),
              IVI_ERROR_ATTR_NOT_READABLE);
    EXPECT_EQ(Ivi_SetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, 0, 42), VI_SUCCESS);
    EXPECT_EQ(Ivi_IOSession(vi), ViSession{42});
}

TEST_F(IviSession, SimulationCannotBeSwitchedOffOnceOn)
{
    const ViSession vi = open("Simulate=1, RangeCheck=0");
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_FALSE),
              IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE);
    EXPECT_EQ(Ivi_CheckAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_FALSE),
              IVI_ERROR_CANNOT_CHANGE_SIMULATION_STATE);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", IVI_ATTR_SIMULATE, 0, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(Ivi_Simulating(vi), VI_TRUE);
}

TEST_F(IviSession, OpensTheVisaResourceManagerUnlessSimulatingAndDisposeClosesIt)
{
    const ViSession vi = open("");
    EXPECT_EQ(Ivi_Simulating(vi), VI_FALSE);
    ViSession rm = VI_NULL;
    ASSERT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_VISA_RM_SESSION, 0, &rm), VI_SUCCESS);
    ASSERT_NE(rm, ViSession{VI_NULL});
    ASSERT_EQ(Ivi_Dispose(vi), VI_SUCCESS);
    EXPECT_EQ(viClose(rm), VI_ERROR_INV_OBJECT); // already closed by the dispose
}

} // namespace
