#include "runtime/popup.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

using namespace qx::runtime;

TEST(MessagePopup, AnInstalledServiceShowsItUntilItsGuardEndsWithoutOneItIsALineOnStandardError)
{
    RecordingPopups outer, inner;
    {
        ScopedPopupService outerGuard(outer);
        std::optional<ScopedPopupService> innerGuard(std::in_place, inner);
        MessagePopup("Title", "first");
        innerGuard.reset();
        MessagePopup("Title", "second");
    }
    EXPECT_EQ(inner.popups(), (std::vector<RecordingPopups::Popup>{{"Title", "first"}}));
    EXPECT_EQ(outer.popups(), (std::vector<RecordingPopups::Popup>{{"Title", "second"}}));
    testing::internal::CaptureStderr();
    MessagePopup("Error Message", "\nOutput Drop function only supports 0, 90, 180, 270 phase angle");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error Message: Output Drop function only supports 0, 90, 180, 270 phase angle\n");
    EXPECT_EQ(popupLine("T", "a\r\n\tb  c \n"), "T: a b c");

    // A failing service does not reach the caller.
    struct Throwing : PopupService {
        void messagePopup(std::string_view, std::string_view) override { throw std::runtime_error("no display"); }
    } throwing;
    ScopedPopupService guard(throwing);
    EXPECT_NO_THROW(MessagePopup("Title", "text"));
}
