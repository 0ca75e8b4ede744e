#include "runtime/clock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace qx::runtime {
namespace {

class RealClock : public Clock {
public:
    void sleep(double seconds, WaitKind) override
    {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
    double now() const override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
};

RealClock realClock;
std::atomic<Clock *> current{&realClock};

std::string formatSeconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

} // namespace

std::string escapeBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

void Timeline::add(std::string event, bool isWrite, std::string_view raw)
{
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    if (isWrite)
        writes_.emplace_back(raw);
}

void Timeline::write(std::string_view bytes) { add("> " + escapeBytes(bytes), true, bytes); }
void Timeline::read(std::string_view bytes) { add("< " + escapeBytes(bytes), false, {}); }

void Timeline::wait(double seconds, WaitKind kind)
{
    add((kind == WaitKind::Delay ? "wait " : "timeout ") + formatSeconds(seconds), false, {});
}

std::vector<std::string> Timeline::events() const
{
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> Timeline::writes() const
{
    std::lock_guard lock(mutex_);
    return writes_;
}

void Timeline::clear()
{
    std::lock_guard lock(mutex_);
    events_.clear();
    writes_.clear();
}

void VirtualClock::sleep(double seconds, WaitKind kind)
{
    {
        std::lock_guard lock(mutex_);
        now_ += seconds;
    }
    if (timeline_)
        timeline_->wait(seconds, kind);
}

double VirtualClock::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

Clock &currentClock() { return *current.load(); }

void setClock(Clock *clock) { current.store(clock ? clock : &realClock); }

ScopedClock::ScopedClock(Clock &clock) : previous_(&currentClock()) { setClock(&clock); }
ScopedClock::~ScopedClock() { setClock(previous_); }

void Delay(double seconds)
{
    if (!(seconds > 0.0) || std::isinf(seconds))
        return;
    currentClock().sleep(seconds, WaitKind::Delay);
}

} // namespace qx::runtime
