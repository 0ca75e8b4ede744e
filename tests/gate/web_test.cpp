#include "markup.h"
#include "sessions.h"

#include <gtest/gtest.h>

namespace qx::gate::web {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(Sessions, FormsCountOnlyWithTheirOwnSessionAndLoginChangesTheToken)
{
    Sessions sessions;
    const Clock::time_point t0{};
    const SessionView a = sessions.view("", t0);
    const SessionView b = sessions.view("made-up", t0);
    EXPECT_NE(a.token, b.token);
    EXPECT_EQ(sessions.view(a.token, t0).csrf, a.csrf); // the cookie finds its session again
    EXPECT_TRUE(sessions.csrfMatches(a.token, a.csrf, t0));
    EXPECT_FALSE(sessions.csrfMatches(a.token, b.csrf, t0));
    EXPECT_FALSE(sessions.csrfMatches(a.token, "", t0));
    EXPECT_FALSE(sessions.csrfMatches("", "", t0));
    const std::string in = sessions.logIn(a.token, t0);
    ASSERT_FALSE(in.empty());
    EXPECT_TRUE(sessions.loggedIn(in, t0));
    EXPECT_FALSE(sessions.loggedIn(a.token, t0)); // the token seen before the login is worthless
    EXPECT_FALSE(sessions.csrfMatches(in, a.csrf, t0));
    EXPECT_FALSE(sessions.loggedIn(b.token, t0));
    sessions.setNotice(in, "done");
    EXPECT_EQ(sessions.view(in, t0).notice, "done");
    EXPECT_EQ(sessions.view(in, t0).notice, ""); // shown once
    sessions.logOut(in);
    EXPECT_FALSE(sessions.loggedIn(in, t0));
}

TEST(Sessions, ExpireIdleAndOldAndKeepLoggedInOnesThroughAFlood)
{
    Sessions sessions({seconds(60), seconds(300), 4});
    const Clock::time_point t0{};
    const std::string in = sessions.logIn(sessions.view("", t0).token, t0);
    EXPECT_TRUE(sessions.loggedIn(in, t0 + seconds(59)));
    EXPECT_FALSE(sessions.loggedIn(in, t0 + seconds(59) + seconds(61))); // idle too long
    const std::string again = sessions.logIn(sessions.view("", t0).token, t0);
    for (int minute = 1; minute <= 4; ++minute)
        EXPECT_TRUE(sessions.loggedIn(again, t0 + seconds(59 * minute)));
    EXPECT_FALSE(sessions.loggedIn(again, t0 + seconds(301))); // too old, however busy
    const std::string kept = sessions.logIn(sessions.view("", t0).token, t0);
    for (int i = 0; i < 20; ++i)
        sessions.view("", t0 + seconds(1));
    EXPECT_TRUE(sessions.loggedIn(kept, t0 + seconds(2)));
}

TEST(LoginThrottle, EachFailureDoublesTheWaitOfItsAddressOnly)
{
    LoginThrottle throttle(milliseconds(1000), milliseconds(4000));
    const Clock::time_point t0{};
    EXPECT_FALSE(throttle.wait("10.0.0.2", t0));
    throttle.failed("10.0.0.2", t0);
    EXPECT_EQ(throttle.wait("10.0.0.2", t0), milliseconds(1000));
    EXPECT_FALSE(throttle.wait("10.0.0.3", t0));
    EXPECT_FALSE(throttle.wait("10.0.0.2", t0 + milliseconds(1000)));
    for (const int expected : {2000, 4000, 4000}) {
        throttle.failed("10.0.0.2", t0);
        EXPECT_EQ(throttle.wait("10.0.0.2", t0), milliseconds(expected));
    }
    throttle.succeeded("10.0.0.2");
    EXPECT_FALSE(throttle.wait("10.0.0.2", t0));
}

TEST(Markup, EscapesMarkupAndJsonAndReplacesWhatIsNotText)
{
    EXPECT_EQ(escapeMarkup(R"(<a href="x">'&'</a>)"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(escapeMarkup("tab\there\x01\xC3\xA9\xFF"), "tab\there\xEF\xBF\xBD\xC3\xA9\xEF\xBF\xBD");
    std::string five; // an overlong '/' and a surrogate: every byte replaced
    for (int i = 0; i < 5; ++i)
        five += "\xEF\xBF\xBD";
    EXPECT_EQ(escapeMarkup("\xC0\xAF\xED\xA0\x80"), five);
    EXPECT_EQ(jsonString("a\"b\\c\n</script>"), R"("a\"b\\c\u000a\u003c/script\u003e")");
}

} // namespace
} // namespace qx::gate::web
