// Adding and using attributes: types, range tables, check callbacks, range checking, access flags,
// channels and the buffers of string attributes.
#include "ivi_test_support.h"

#include <cstring>

using namespace ivitest;

namespace {

const IviRangeTableEntry frequencyEntries[] = {{16.0, 5000.0, 0.0, "", 0}, IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTable frequencyTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr, frequencyEntries};
const IviRangeTableEntry functionEntries[] = {
    {9, 0, 0, "FREQ", 0}, {1, 0, 0, "VOLT", 0}, {2, 0, 0, "CURR", 0}, {3, 0, 0, "VOLT:RANG", 0},
    IVI_RANGE_TABLE_LAST_ENTRY};
const IviRangeTable functionTable = {IVI_VAL_DISCRETE, VI_TRUE, VI_TRUE, nullptr, functionEntries};

using IviAttributeRules = IviTest;
using IviAttributeKinds = IviTest;

TEST_F(IviAttributeRules, IdsAreUniqueAndTypesMustMatch)
{
    const ViSession vi = withInt("Simulate=1");
    EXPECT_EQ(Ivi_AddAttributeViReal64(vi, attrInt, "AGAIN", 0, 0, nullptr, nullptr, nullptr, 0),
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

TEST_F(IviAttributeRules, RangeCheckingAppliesTheTableOrACheckCallbackToSetsACheckAlwaysAppliesLookUps)
{
    const auto withFrequency = [&](const char *options) {
        const ViSession vi = open(options);
        EXPECT_EQ(addReal(vi, attrReal, 16.0, 0, &frequencyTable), VI_SUCCESS);
        return vi;
    };
    const ViSession vi = withFrequency("");
    const std::pair<ViReal64, ViStatus> frequencies[] = {
        {15.9, IVI_ERROR_INVALID_VALUE}, {5000.1, IVI_ERROR_INVALID_VALUE}, {16.0, VI_SUCCESS}, {5000.0, VI_SUCCESS}};
    for (const auto &[value, status] : frequencies)
        EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, value), status) << value;
    EXPECT_EQ(Ivi_CheckAttributeViReal64(vi, "", attrReal, 0, 5000.1), IVI_ERROR_INVALID_VALUE);
    const ViSession discrete = withInt("", 0, &functionTable);
    for (ViInt32 value = 0; value <= 10; ++value)
        EXPECT_EQ(Ivi_SetAttributeViInt32(discrete, "", attrInt, 0, value),
                  (value >= 1 && value <= 3) || value == 9 ? VI_SUCCESS : IVI_ERROR_INVALID_VALUE)
            << value;
    ASSERT_EQ(Ivi_AddAttributeViBoolean(vi, attrInt, "BOOL", VI_FALSE, 0, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(vi, "", attrInt, 0, 2), IVI_ERROR_INVALID_VALUE);
    // A check callback replaces the table.
    ASSERT_EQ(Ivi_SetAttrCheckCallbackViReal64(vi, attrReal, checkNumber<ViReal64>), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 6000.0), VI_SUCCESS);
    calls.checkStatus = VI_ERROR_PARAMETER4;
    EXPECT_EQ(Ivi_SetAttributeViReal64(vi, "", attrReal, 0, 100.0), VI_ERROR_PARAMETER4);
    EXPECT_EQ(Ivi_CheckAttributeViReal64(vi, "", attrReal, 0, 100.0), VI_ERROR_PARAMETER4);
    EXPECT_EQ(calls.checks, 3);
    EXPECT_EQ(calls.written, (std::vector<double>{16.0, 5000.0, 1, 2, 3, 9, 6000.0}));

    calls = Calls{}; // without range checking a set checks nothing; a check still checks
    const ViSession unchecked = withFrequency("RangeCheck=0");
    EXPECT_EQ(Ivi_SetAttributeViReal64(unchecked, "", attrReal, 0, 1.0), VI_SUCCESS);
    EXPECT_EQ(Ivi_CheckAttributeViReal64(unchecked, "", attrReal, 0, 1.0), IVI_ERROR_INVALID_VALUE);
    ASSERT_EQ(Ivi_SetAttrCheckCallbackViReal64(unchecked, attrReal, checkNumber<ViReal64>), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViReal64(unchecked, "", attrReal, 0, 2.0), VI_SUCCESS);
    EXPECT_EQ(calls.checks, 0);
    EXPECT_EQ(calls.written, (std::vector<double>{1.0, 2.0}));
    ASSERT_EQ(Ivi_AddAttributeViBoolean(unchecked, attrInt, "BOOL", VI_FALSE, 0, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(Ivi_SetAttributeViBoolean(unchecked, "", attrInt, 0, 7), VI_SUCCESS);

    // The engine looks values up in discrete and ranged tables.
    ViInt32 minimum = -1, maximum = -1, index = -1;
    ViConstString command = nullptr;
    const auto lookUp = Ivi_GetViInt32EntryFromValue;
    ASSERT_EQ(lookUp(3, &functionTable, &minimum, nullptr, nullptr, &index, &command, nullptr), VI_SUCCESS);
    EXPECT_EQ(std::tuple(index, minimum, std::string(command)), std::tuple(3, 3, "VOLT:RANG"));
    ASSERT_EQ(lookUp(5000, &frequencyTable, &minimum, &maximum, nullptr, &index, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(std::pair(minimum, maximum), std::pair(16, 5000));
    const std::pair<ViInt32, IviRangeTablePtr> absent[] = {{4, &functionTable}, {5001, &frequencyTable}, {1, nullptr}};
    for (const auto &[value, table] : absent)
        EXPECT_EQ(lookUp(value, table, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  table ? IVI_ERROR_INVALID_VALUE : IVI_ERROR_NULL_POINTER)
            << value;
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

TEST_F(IviAttributeKinds, PerChannelOnesKeepAValuePerChannelStringOnesFollowTheBufferRules)
{
    // Callbacks run in these simulated sessions because the attributes ask for them.
    const IviAttrFlags flags = IVI_VAL_MULTI_CHANNEL | IVI_VAL_USE_CALLBACKS_FOR_SIMULATION;
    const ViSession vi = withInt("Simulate=1", flags);
    ASSERT_EQ(Ivi_BuildChannelTable(vi, " 1 , 2", VI_FALSE, nullptr), VI_SUCCESS);
    ASSERT_EQ(addInt(vi, attrInt + 1), VI_SUCCESS);
    EXPECT_EQ(valueOf(Ivi_GetAttributeViInt32, vi, IVI_ATTR_CHANNEL_COUNT), 2);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "1", attrInt, 0, 5), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetAttributeViInt32(vi, "2", attrInt, 0, 7), VI_SUCCESS);
    EXPECT_EQ(getInt(vi, "1"), 5);
    EXPECT_EQ(getInt(vi, "2"), 7);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "", attrInt, 0, 1), IVI_ERROR_CHANNEL_NAME_REQUIRED);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "3", attrInt, 0, 1), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(Ivi_InvalidateAttribute(vi, "3", attrInt), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, "1", attrInt + 1, 0, 1), IVI_ERROR_CHANNEL_NAME_NOT_ALLOWED);
    EXPECT_EQ(Ivi_SetAttributeViInt32(vi, nullptr, attrInt + 1, 0, 1), VI_SUCCESS);

    ViConstString coerced = nullptr;
    ASSERT_EQ(Ivi_CoerceChannelName(vi, "1", &coerced), VI_SUCCESS);
    EXPECT_STREQ(coerced, "1");
    EXPECT_EQ(Ivi_CoerceChannelName(vi, "A", &coerced), IVI_ERROR_UNKNOWN_CHANNEL_NAME);
    EXPECT_EQ(Ivi_CoerceChannelName(vi, "", &coerced), IVI_ERROR_CHANNEL_NAME_REQUIRED);
    EXPECT_EQ(Ivi_CoerceChannelName(vi, "1", nullptr), IVI_ERROR_NULL_POINTER);
    for (const char *bad : {"1,,2", "1,1"}) // the table stays as it was
        EXPECT_EQ(Ivi_BuildChannelTable(vi, bad, VI_FALSE, nullptr), IVI_ERROR_INVALID_VALUE) << bad;
    EXPECT_EQ(Ivi_BuildChannelTable(vi, nullptr, VI_FALSE, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_CoerceChannelName(vi, "2", &coerced), VI_SUCCESS);

    const ViSession lenient = withInt("Simulate=1", flags);
    ASSERT_EQ(Ivi_BuildChannelTable(lenient, "1", VI_TRUE, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_CoerceChannelName(lenient, "A", &coerced), VI_SUCCESS);
    EXPECT_STREQ(coerced, "A");
    EXPECT_EQ(Ivi_SetAttributeViInt32(lenient, "A", attrInt, 0, 3), VI_SUCCESS);
    EXPECT_EQ(calls.channels, (std::vector<std::string>{"1", "2", "A"}));
    EXPECT_EQ(calls.writes, 3);

    // A string attribute's buffers follow the IVI rules; only its read callback hands a value over.
    calls = Calls{};
    const ViSession texts = open("Simulate=1");
    ASSERT_EQ(Ivi_AddAttributeViString(texts, attrText, "TEXT", "HELLO", IVI_VAL_USE_CALLBACKS_FOR_SIMULATION,
                                       readText, writeText),
              VI_SUCCESS);
    EXPECT_EQ(Ivi_GetAttributeViString(texts, "", attrText, 0, 0, nullptr), 6); // the size it needs
    const struct {
        ViInt32 size;
        ViStatus status;
        const char *text;
    } cases[] = {{3, 6, "HE"}, {1, 6, ""}, {6, VI_SUCCESS, "HELLO"}, {-1, VI_SUCCESS, "HELLO"}};
    for (const auto &c : cases) {
        ViChar buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(Ivi_GetAttributeViString(texts, "", attrText, 0, c.size, buffer), c.status) << c.size;
        EXPECT_STREQ(buffer, c.text) << c.size;
        EXPECT_EQ(buffer[c.size < 0 ? 6 : c.size], '#') << c.size; // nothing written beyond the size
    }
    for (ViInt32 size : {4, -1})
        EXPECT_EQ(Ivi_GetAttributeViString(texts, "", attrText, 0, size, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(calls.reads, 1); // cached after the first get, whose callback handed nothing over
    EXPECT_EQ(calls.cacheSeen, "HELLO");

    const auto reread = [&](ViStatus expected = VI_SUCCESS) {
        EXPECT_EQ(Ivi_InvalidateAttribute(texts, "", attrText), VI_SUCCESS);
        ViChar buffer[64] = "";
        EXPECT_EQ(Ivi_GetAttributeViString(texts, "", attrText, 0, 64, buffer), expected);
        return std::string(buffer);
    };
    calls.textAnswer = "ZE,7101QX,123,1.0\n";
    EXPECT_EQ(reread(), "ZE,7101QX,123,1.0\n");
    EXPECT_EQ(calls.handOverStatus, VI_SUCCESS);
    calls.textAnswer = "lost";
    calls.readStatus = VI_ERROR_TMO;
    reread(VI_ERROR_TMO);
    calls.readStatus = VI_SUCCESS;
    calls.textAnswer = nullptr; // hands nothing over: the cached text stays, without what the failed read gave
    EXPECT_EQ(reread(), "ZE,7101QX,123,1.0\n");
    EXPECT_EQ(calls.cacheSeen, "ZE,7101QX,123,1.0\n");
    EXPECT_EQ(calls.reads, 4);
    ASSERT_EQ(Ivi_SetAttributeViString(texts, "", attrText, 0, "*RST"), VI_SUCCESS);
    EXPECT_EQ(calls.writtenText, "*RST");

    EXPECT_EQ(Ivi_SetValInStringCallback(texts, attrText, "x"), IVI_ERROR_NOT_IN_READ_CALLBACK);
    ASSERT_EQ(Ivi_AddAttributeViString(texts, attrText + 1, "OTHER", "", IVI_VAL_USE_CALLBACKS_FOR_SIMULATION,
                                       [](ViSession session, ViSession, ViConstString, ViAttr, ViConstString) {
                                           calls.handOverStatus = Ivi_SetValInStringCallback(session, attrText, "x");
                                           return VI_SUCCESS;
                                       },
                                       nullptr),
              VI_SUCCESS);
    ViChar other[8];
    ASSERT_EQ(Ivi_GetAttributeViString(texts, "", attrText + 1, 0, 8, other), VI_SUCCESS);
    EXPECT_EQ(calls.handOverStatus, IVI_ERROR_NOT_IN_READ_CALLBACK);
}

} // namespace
