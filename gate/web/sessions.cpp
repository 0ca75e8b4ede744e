#include "sessions.h"

#include <sodium.h>

#include <algorithm>

namespace qx::gate::web {
namespace {

constexpr std::size_t kMostThrottled = 4096;

bool sameText(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::string randomToken()
{
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

Sessions::Entry *Sessions::live(const std::string &token, Clock::time_point now)
{
    const auto it = entries_.find(token);
    if (it == entries_.end())
        return nullptr;
    if (now - it->second.used > limits_.idle || now - it->second.began > limits_.longest) {
        entries_.erase(it);
        return nullptr;
    }
    it->second.used = now;
    return &it->second;
}

std::string Sessions::create(Clock::time_point now, bool loggedIn)
{
    if (entries_.size() >= limits_.most) {
        std::erase_if(entries_, [&](const auto &e) { return now - e.second.used > limits_.idle; });
        // Then the least recently used: anonymous ones first, so that a flood of visits does not
        // log anybody out.
        while (entries_.size() >= limits_.most)
            entries_.erase(std::min_element(entries_.begin(), entries_.end(), [](const auto &a, const auto &b) {
                return std::pair(a.second.loggedIn, a.second.used) < std::pair(b.second.loggedIn, b.second.used);
            }));
    }
    std::string token = randomToken();
    entries_[token] = Entry{randomToken(), loggedIn, {}, now, now};
    return token;
}

SessionView Sessions::view(const std::string &token, Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    SessionView view;
    Entry *entry = live(token, now);
    view.token = entry != nullptr ? token : create(now, false);
    entry = &entries_[view.token];
    view.csrf = entry->csrf;
    view.loggedIn = entry->loggedIn;
    view.notice = std::move(entry->notice);
    entry->notice.clear();
    return view;
}

bool Sessions::csrfMatches(const std::string &token, const std::string &csrf, Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    const Entry *entry = live(token, now);
    return entry != nullptr && sameText(entry->csrf, csrf);
}

bool Sessions::loggedIn(const std::string &token, Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    const Entry *entry = live(token, now);
    return entry != nullptr && entry->loggedIn;
}

std::string Sessions::logIn(const std::string &token, Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    if (live(token, now) == nullptr)
        return {};
    entries_.erase(token);
    return create(now, true);
}

void Sessions::logOut(const std::string &token)
{
    const std::lock_guard lock(mutex_);
    entries_.erase(token);
}

void Sessions::setNotice(const std::string &token, std::string notice)
{
    const std::lock_guard lock(mutex_);
    if (const auto it = entries_.find(token); it != entries_.end())
        it->second.notice = std::move(notice);
}

std::optional<std::chrono::milliseconds> LoginThrottle::wait(const std::string &address, Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    const auto it = records_.find(address);
    if (it == records_.end() || it->second.next <= now)
        return std::nullopt;
    return std::chrono::ceil<std::chrono::milliseconds>(it->second.next - now);
}

void LoginThrottle::failed(const std::string &address, Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    if (records_.size() >= kMostThrottled && !records_.contains(address)) {
        // Addresses whose wait is long over are forgotten first; failing that, any one.
        std::erase_if(records_, [&](const auto &r) { return r.second.next + longest_ < now; });
        if (records_.size() >= kMostThrottled)
            records_.erase(records_.begin());
    }
    Record &r = records_[address];
    r.failures = std::min(r.failures + 1, 30u);
    auto delay = first_;
    for (unsigned i = 1; i < r.failures && delay < longest_; ++i)
        delay *= 2;
    r.next = now + std::min(delay, longest_);
}

void LoginThrottle::succeeded(const std::string &address)
{
    const std::lock_guard lock(mutex_);
    records_.erase(address);
}

} // namespace qx::gate::web
