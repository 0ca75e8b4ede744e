// Adding attributes, types, range tables, check callbacks, range checking and access flags.
#include "ivi_test_support.h"

using namespace ivitest;

namespace {

const IviRangeTableEntry frequencyEntries[] = {{16.0, 5000.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTable frequencyTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr, frequencyEntries};
const IviRangeTableEntry functionEntries[] = {
    {9, 0, 0, "FREQ", 0}, {1, 0, 0, "VOLT", 0}, {2, 0, 0, "CURR", 0}, {3, 0, 0, "VOLT:RANG", 0},
    IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTable functionTable = {IVI_VAL_DISCRETE, VI_TRUE, VI_TRUE, nullptr, functionEntries};

class IviAttributeRules : public IviTest {
protected:
    ViSession withFrequency(const char *options)
    {
        const ViSession vi = open(options);
        EXPECT_EQ(Ivi_AddAttributeViReal64(vi, attrReal, "FREQUENCY", 16.0, 0, readNumber<ViReal64>,
                                           writeNumber<ViReal64>, &frequencyTable, 0),
                  VI_SUCCESS);
        return vi;
    }
};

TEST_F(IviAttributeRules, IdsAreUniqueAndTypesMustMatch)
{
    const ViSession vi = withInt("Simulate=1");
    EXPECT_EQ(Ivi_AddAttributeViReal64(vi, attrInt, "AGAIN", 0, 0, nullptr, nullptr, nullptr, 0),
              IVI_ERROR_ATTRIBUTE_EXISTS);
    EXPECT_EQ(Ivi_AddAttributeViBoolean(vi, IVI_ATTR_SIMULATE, "MINE", VI_FALSE, 0, nullptr, nullptr),
              IVI_ERROR_ATTRIBUTE_EXISTS);
    EXPECT_EQ(Ivi_AddAttributeViString(vi, attrText, nullptr, "", 0, nullptr, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_AddAttributeViReal64(vi, attrReal, "PRECISION", 0, 0, nullptr, nullptr, nullptr, -1),
              IVI_ERROR_INVALID_VALUE);
    ViReal64 real = 0;
    ViInt32 number = 0;
    EXPECT_EQ(Ivi_GetAttributeViReal64(vi, "", attrInt, 0, &real), IVI_ERROR_TYPES_DO_NOT_MATCH);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", attrInt, 0, VI_TRUE), IVI_ERROR_TYPES_DO_NOT_MATCH);
    EXPECT_EQ(Ivi_SetAttrCheckCallbackViReal64(vi, attrInt, checkNumber<ViReal64>), IVI_ERROR_TYPES_DO_NOT_MATCH);
    EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", attrReal, 0, &number), IVI_ERROR_INVALID_ATTRIBUTE);
    EXPECT_EQ(Ivi_SetAttrReadCallbackViInt32(vi, attrReal, readNumber<ViInt32>), IVI_ERROR_INVALID_ATTRIBUTE);
    EXPECT_EQ(Ivi_InvalidateAttribute(vi, "", attrReal), IVI_ERROR_INVALID_ATTRIBUTE);
    EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", attrInt, 0, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_SetAttributeViString(vi, "", IVI_ATTR_DRIVER_SETUP, 0, nullptr), IVI_ERROR_NULL_POINTER);
}

TEST_F(IviAttributeRules, RangedBoundsAreInclusiveDiscreteTablesAdmitOnlyTheirValues)
{
    const ViSession vi = withFrequency("");
    for (ViReal64 bad : {15.9, 5000.1})
        EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, bad), IVI_ERROR_INVALID_VALUE) << bad;
    for (ViReal64 good : {16.0, 5000.0})
        EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, good), VI_SUCCESS) << good;
    EXPECT_EQ(Ivi_CheckAttributeViReal64(vi, "", attrReal, 0, 5000.1), IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(calls.written, (std::vector<double>{16.0, 5000.0}));

    const ViSession discrete = withInt("", 0, &functionTable);
    for (ViInt32 bad : {0, 4, 10})
        EXPECT_EQ(Ivi_SetAttributeViInt32(discrete, "", attrInt, 0, bad), IVI_ERROR_INVALID_VALUE) << bad;
    for (ViInt32 good : {9, 1, 2, 3})
        EXPECT_EQ(Ivi_SetAttributeViInt32(discrete, "", attrInt, 0, good), VI_SUCCESS) << good;
    EXPECT_EQ(calls.written, (std::vector<double>{16.0, 5000.0, 9, 1, 2, 3}));
}

TEST_F(IviAttributeRules, ACheckCallbackReplacesTheTableCheck)
{
    const ViSession vi = withFrequency("");
    ASSERT_EQ(Ivi_SetAttrCheckCallbackViReal64(vi, attrReal, checkNumber<ViReal64>), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 6000.0), VI_SUCCESS);
    calls.checkStatus = VI_ERROR_PARAMETER4;
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 100.0), VI_ERROR_PARAMETER4);
    EXPECT_EQ(Ivi_CheckAttributeViReal64(vi, "", attrReal, 0, 100.0), VI_ERROR_PARAMETER4);
    EXPECT_EQ(calls.checks, 3);
    EXPECT_EQ(calls.written, std::vector<double>{6000.0});
}

TEST_F(IviAttributeRules, WithoutRangeCheckingASetChecksNothingButACheckStillDoes)
{
    const ViSession vi = withFrequency("RangeCheck=0");
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 1.0), VI_SUCCESS);
    EXPECT_EQ(Ivi_CheckAttributeViReal64(vi, "", attrReal, 0, 1.0), IVI_ERROR_INVALID_VALUE);
    ASSERT_EQ(Ivi_SetAttrCheckCallbackViReal64(vi, attrReal, checkNumber<ViReal64>), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 2.0), VI_SUCCESS);
    EXPECT_EQ(calls.checks, 0);
    EXPECT_EQ(calls.written, (std::vector<double>{1.0, 2.0}));
    ASSERT_EQ(Ivi_AddAttributeViBoolean(vi, attrInt, "BOOL", VI_FALSE, 0, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", attrInt, 0, 7), VI_SUCCESS);

    const ViSession checking = open("Simulate=1");
    ASSERT_EQ(Ivi_AddAttributeViBoolean(checking, attrInt, "BOOL", VI_FALSE, 0, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(checking, "", attrInt, 0, 2), IVI_ERROR_INVALID_VALUE);
}

TEST_F(IviAttributeRules, AccessFlagsRestrictUsersOrEveryone)
{
    const ViSession vi = open("Simulate=1");
    const struct {
        IviAttrFlags flags;
        ViStatus userSet, driverSet, userGet, driverGet;
    } cases[] = {
        {IVI_VAL_NOT_USER_WRITABLE, IVI_ERROR_ATTR_NOT_WRITABLE, VI_SUCCESS, VI_SUCCESS, VI_SUCCESS},
        {IVI_VAL_NOT_USER_READABLE, VI_SUCCESS, VI_SUCCESS, IVI_ERROR_ATTR_NOT_READABLE, VI_SUCCESS},
        {IVI_VAL_NOT_WRITABLE, IVI_ERROR_ATTR_NOT_WRITABLE, IVI_ERROR_ATTR_NOT_WRITABLE, VI_SUCCESS, VI_SUCCESS},
        {IVI_VAL_NOT_READABLE, VI_SUCCESS, VI_SUCCESS, IVI_ERROR_ATTR_NOT_READABLE, IVI_ERROR_ATTR_NOT_READABLE},
        {IVI_VAL_NOT_SUPPORTED, IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED, IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED,
         IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED, IVI_ERROR_ATTRIBUTE_NOT_SUPPORTED},
    };
    ViAttr id = attrInt;
    for (const auto &c : cases) {
        ASSERT_EQ(Ivi_AddAttributeViInt32(vi, ++id, "ATTR", 0, c.flags, nullptr, nullptr, nullptr), VI_SUCCESS);
        ViInt32 value = 0;
        EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", id, IVI_VAL_DIRECT_USER_CALL, 1), c.userSet) << c.flags;
        EXPECT_EQ(Ivi_CheckAttributeViInt32(vi, "", id, IVI_VAL_DIRECT_USER_CALL, 1), c.userSet) << c.flags;
        EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", id, 0, 1), c.driverSet) << c.flags;
        EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", id, IVI_VAL_DIRECT_USER_CALL, &value), c.userGet) << c.flags;
        EXPECT_EQ(Ivi_GetAttributeViInt32(vi, "", id, 0, &value), c.driverGet) << c.flags;
    }
}

TEST(IviInt32Entry, LooksValuesUpInDiscreteAndRangedTables)
{
    ViInt32 minimum = -1, maximum = -1, coerced = -1, index = -1, commandValue = -1;
    ViConstString command = nullptr;
    ASSERT_EQ(Ivi_GetViInt32EntryFromValue(3, &functionTable, &minimum, &maximum, &coerced, &index, &command,
                                           &commandValue),
              VI_SUCCESS);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(minimum, 3);
    EXPECT_STREQ(command, "VOLT:RANG");
    ASSERT_EQ(Ivi_GetViInt32EntryFromValue(5000, &frequencyTable, &minimum, &maximum, nullptr, &index, nullptr,
                                           nullptr),
              VI_SUCCESS);
    EXPECT_EQ(minimum, 16);
    EXPECT_EQ(maximum, 5000);
    for (ViInt32 absent : {4, 5001})
        EXPECT_EQ(Ivi_GetViInt32EntryFromValue(absent, absent == 4 ? &functionTable : &frequencyTable, nullptr,
                                               nullptr, nullptr, nullptr, nullptr, nullptr),
                  IVI_ERROR_INVALID_VALUE);
    EXPECT_EQ(Ivi_GetViInt32EntryFromValue(1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              IVI_ERROR_NULL_POINTER);
}

} // namespace
