#include "ivi_test_support.h"

using namespace ivitest;

namespace {

struct Info {
    ViStatus primary = 1, secondary = 1;
    std::string elaboration;
};

Info take(ViSession vi)
{
    Info info;
    ViChar text[IVI_MAX_MESSAGE_BUF_SIZE] = "stale";
    EXPECT_EQ(Ivi_GetErrorInfo(vi, &info.primary, &info.secondary, text), VI_SUCCESS);
    info.elaboration = text;
    return info;
}

// Runs on a session and on no session (VI_NULL).
class IviErrorInfo : public IviTest, public ::testing::WithParamInterface<bool> {
protected:
    ViSession holder() { return GetParam() ? open("Simulate=1") : VI_NULL; }
};

TEST_P(IviErrorInfo, TheFirstErrorStaysUntilHandedOutClearedOrOverwritten)
{
    const ViSession vi = holder();
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, VI_ERROR_PARAMETER3, "Voltage Limit"), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_INVALID_VALUE, 0, "later"), VI_SUCCESS);
    Info info = take(vi);
    EXPECT_EQ(info.primary, VI_ERROR_TMO);
    EXPECT_EQ(info.secondary, VI_ERROR_PARAMETER3);
    EXPECT_EQ(info.elaboration, "Voltage Limit");
    info = take(vi); // handing out cleared it
    EXPECT_EQ(info.primary | info.secondary, VI_SUCCESS);
    EXPECT_EQ(info.elaboration, "");

    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_TRUE, IVI_ERROR_INVALID_VALUE, 0, "overwritten"), VI_SUCCESS);
    EXPECT_EQ(take(vi).primary, IVI_ERROR_INVALID_VALUE);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, nullptr), VI_SUCCESS);
    ASSERT_EQ(Ivi_ClearErrorInfo(vi), VI_SUCCESS);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, IVI_ERROR_NULL_POINTER, 0, nullptr), VI_SUCCESS);
    EXPECT_EQ(take(vi).primary, IVI_ERROR_NULL_POINTER);
}

TEST_P(IviErrorInfo, KeepsAtMost255CharactersAndAcceptsNullOutputs)
{
    const ViSession vi = holder();
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, std::string(300, 'x').c_str()), VI_SUCCESS);
    ViStatus primary = 0;
    ASSERT_EQ(Ivi_GetErrorInfo(vi, &primary, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(primary, VI_ERROR_TMO);
    ASSERT_EQ(Ivi_SetErrorInfo(vi, VI_FALSE, VI_ERROR_TMO, 0, std::string(300, 'x').c_str()), VI_SUCCESS);
    EXPECT_EQ(take(vi).elaboration, std::string(255, 'x'));
}

INSTANTIATE_TEST_SUITE_P(OnSessionAndOnNoSession, IviErrorInfo, ::testing::Bool());

class IviErrorInfoHolders : public IviTest {};

TEST_F(IviErrorInfoHolders, NoSessionKeepsItsInformationPerThreadAndApartFromSessions)
{
    const ViSession vi = open("Simulate=1");
    ASSERT_EQ(Ivi_SetErrorInfo(VI_NULL, VI_FALSE, VI_ERROR_TMO, 0, "main"), VI_SUCCESS);
    Info seenByOther;
    std::thread([&] {
        seenByOther = take(VI_NULL);
        Ivi_SetErrorInfo(VI_NULL, VI_FALSE, IVI_ERROR_INVALID_VALUE, 0, "other");
    }).join();
    EXPECT_EQ(seenByOther.primary, VI_SUCCESS);
    EXPECT_EQ(take(vi).primary, VI_SUCCESS);
    EXPECT_EQ(take(VI_NULL).elaboration, "main");

    ViStatus primary = 5, secondary = 5; // an invalid session hands out nothing stale
    ViChar text[IVI_MAX_MESSAGE_BUF_SIZE] = "stale";
    EXPECT_EQ(Ivi_GetErrorInfo(0xDEAD, &primary, &secondary, text), IVI_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(primary | secondary, VI_SUCCESS);
    EXPECT_STREQ(text, "");
}

TEST(IviParamPositionError, MapsPositionsOneToEightAndRefusesOthers)
{
    EXPECT_EQ(Ivi_ParamPositionError(1), static_cast<ViStatus>(0xBFFC0001));
    EXPECT_EQ(Ivi_ParamPositionError(8), static_cast<ViStatus>(0xBFFC0008));
    for (ViInt32 position : {-1, 0, 9})
        EXPECT_EQ(Ivi_ParamPositionError(position), IVI_ERROR_INVALID_PARAMETER);
}

} // namespace
