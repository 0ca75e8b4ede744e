// Who is logged in to the web face, and who has failed to.
//
// Every visitor gets a session (a random token in a cookie) that carries the CSRF token of its
// forms; logging in marks it and gives it a new token, so a token seen before the login is worth
// nothing after it. Sessions expire after a while idle and at most a day after they began; the
// table is bounded, the least recently used anonymous ones going first. Failed logins slow down their client address:
// each one makes the next attempt wait longer, and attempts before that time are refused unchecked, so no request waits
// for another and no thread sleeps.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace qx::gate::web {

using Clock = std::chrono::steady_clock;

struct SessionView {
    std::string token; // the cookie's value
    std::string csrf;  // what every form of the session carries
    bool loggedIn = false;
    std::string notice; // a message for the next page the session sees, taken by view()
};

class Sessions {
public:
    struct Limits {
        std::chrono::seconds idle{1800};
        std::chrono::seconds longest{86400};
        std::size_t most = 1024;
    };
    Sessions() : Sessions(Limits{}) {}
    explicit Sessions(Limits limits) : limits_(limits) {}

    // The session of the cookie's token when it lives, else a new anonymous one. Takes its notice.
    SessionView view(const std::string &token, Clock::time_point now = Clock::now());
    // True when `csrf` is the live session's own token (compared in constant time).
    bool csrfMatches(const std::string &token, const std::string &csrf, Clock::time_point now = Clock::now());
    bool loggedIn(const std::string &token, Clock::time_point now = Clock::now());
    // The session logs in under a new token, returned ("" when it has expired meanwhile).
    std::string logIn(const std::string &token, Clock::time_point now = Clock::now());
    void logOut(const std::string &token);
    void setNotice(const std::string &token, std::string notice);

private:
    struct Entry {
        std::string csrf;
        bool loggedIn = false;
        std::string notice;
        Clock::time_point began, used;
    };
    Entry *live(const std::string &token, Clock::time_point now); // under mutex_
    std::string create(Clock::time_point now, bool loggedIn);     // under mutex_

    const Limits limits_;
    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

// Failed logins by client address.
class LoginThrottle {
public:
    // The first failure makes the next attempt wait `first`; each one after doubles it, up to `longest`.
    explicit LoginThrottle(std::chrono::milliseconds first = std::chrono::milliseconds(1000),
                           std::chrono::milliseconds longest = std::chrono::milliseconds(60000))
        : first_(first), longest_(longest)
    {
    }
    // How long the address must still wait before an attempt is checked; nullopt: it may try now.
    std::optional<std::chrono::milliseconds> wait(const std::string &address, Clock::time_point now = Clock::now());
    void failed(const std::string &address, Clock::time_point now = Clock::now());
    void succeeded(const std::string &address);

private:
    struct Record {
        unsigned failures = 0;
        Clock::time_point next;
    };
    const std::chrono::milliseconds first_, longest_;
    std::mutex mutex_;
    std::map<std::string, Record> records_;
};

// 32 random bytes (libsodium) as 64 hex digits.
std::string randomToken();

} // namespace qx::gate::web
