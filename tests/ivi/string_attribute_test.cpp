#include "ivi_test_support.h"

#include <cstring>

using namespace ivitest;

namespace {

class IviStringAttribute : public IviTest {
protected:
    // Callbacks run in this simulated session because the attribute asks for them.
    ViSession withText(const char *defaultValue)
    {
        const ViSession vi = open("Simulate=1");
        EXPECT_EQ(Ivi_AddAttributeViString(vi, attrText, "TEXT", defaultValue, IVI_VAL_USE_CALLBACKS_FOR_SIMULATION,
                                           readText, writeText),
                  VI_SUCCESS);
        return vi;
    }
    std::string get(ViSession vi, ViStatus expected = VI_SUCCESS)
    {
        ViChar buffer[64] = "";
        EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, 64, buffer), expected);
        return buffer;
    }
};

TEST_F(IviStringAttribute, BufferSizesFollowTheIviRules)
{
    const ViSession vi = withText("HELLO");
    EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, 0, nullptr), 6);
    ViChar buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, 3, buffer), 6);
    EXPECT_STREQ(buffer, "HE");
    EXPECT_EQ(buffer[3], '#');
    EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, 1, buffer), 6);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, 6, buffer), VI_SUCCESS);
    EXPECT_STREQ(buffer, "HELLO");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, -1, buffer), VI_SUCCESS);
    EXPECT_STREQ(buffer, "HELLO");
    for (ViInt32 size : {4, -1})
        EXPECT_EQ(Ivi_GetAttributeViString(vi, "", attrText, 0, size, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(calls.reads, 1); // cached after the first get
}

TEST_F(IviStringAttribute, TheReadCallbackSeesTheCacheAndHandsItsResultOver)
{
    const ViSession vi = withText("ZE");
    calls.textAnswer = "ZE,7101QX,123,1.0\n";
    EXPECT_EQ(get(vi), "ZE,7101QX,123,1.0\n");
    EXPECT_EQ(calls.cacheSeen, "ZE");
    EXPECT_EQ(calls.handOverStatus, VI_SUCCESS);

    calls.textAnswer = nullptr; // hands nothing over: the cached text stays the value
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrText), VI_SUCCESS);
    EXPECT_EQ(get(vi), "ZE,7101QX,123,1.0\n");
    calls.textAnswer = "lost";
    calls.readStatus = VI_ERROR_TMO;
    ASSERT_EQ(Ivi_InvalidateAttribute(vi, "", attrText), VI_SUCCESS);
    get(vi, VI_ERROR_TMO);
    calls.readStatus = VI_SUCCESS;
    calls.textAnswer = nullptr;
    EXPECT_EQ(get(vi), "ZE,7101QX,123,1.0\n"); // what a failed read handed over is dropped
    EXPECT_EQ(calls.reads, 4);

    ASSERT_EQ(Ivi_SetAttributeViString(vi, "", attrText, 0, "*RST"), VI_SUCCESS);
    EXPECT_EQ(calls.writtenText, "*RST");
}

TEST_F(IviStringAttribute, HandingOverWorksOnlyInsideThatAttributesReadCallback)
{
    const ViSession vi = withText("");
    EXPECT_EQ(Ivi_SetValInStringCallback(vi, attrText, "x"), IVI_ERROR_NOT_IN_READ_CALLBACK);
    ASSERT_EQ(Ivi_AddAttributeViString(vi, attrText + 1, "OTHER", "", IVI_VAL_USE_CALLBACKS_FOR_SIMULATION,
                                       [](ViSession session, ViSession, ViConstString, ViAttr, ViConstString) {
                                           calls.handOverStatus = Ivi_SetValInStringCallback(session, attrText, "x");
                                           return VI_SUCCESS;
                                       },
                                       nullptr),
              VI_SUCCESS);
    ViChar buffer[8];
    ASSERT_EQ(Ivi_GetAttributeViString(vi, "", attrText + 1, 0, 8, buffer), VI_SUCCESS);
    EXPECT_EQ(calls.handOverStatus, IVI_ERROR_NOT_IN_READ_CALLBACK);
}

} // namespace
