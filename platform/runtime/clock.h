// The one clock through which every wait of the system goes. Production sleeps for real;
// tests install a VirtualClock that records each wait in a Timeline shared with the I/O,
// so the exact order of commands and pauses can be asserted.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qx::runtime {

// Why the caller is waiting: a fixed pacing wait, or an I/O time-out that ran out.
enum class WaitKind { Delay, Timeout };

class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleep(double seconds, WaitKind kind) = 0;
    // Seconds since an arbitrary start; only differences are meaningful.
    virtual double now() const = 0;
};

// Events of one test run, in order: what went to the instrument, what came back, each wait.
class Timeline {
public:
    void write(std::string_view bytes);
    void read(std::string_view bytes);
    void wait(double seconds, WaitKind kind);

    // "> text" for a write, "< text" for a read (control characters escaped as \n, \r, \xNN),
    // "wait 0.03" for a delay, "timeout 10" for an expired time-out.
    std::vector<std::string> events() const;
    // Only the writes, unescaped.
    std::vector<std::string> writes() const;
    void clear();

private:
    void add(std::string event, bool isWrite, std::string_view raw);
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::string> writes_;
};

// Advances instantly and records each wait in the timeline (if any).
class VirtualClock : public Clock {
public:
    explicit VirtualClock(Timeline *timeline = nullptr) : timeline_(timeline) {}
    void sleep(double seconds, WaitKind kind) override;
    double now() const override;

private:
    Timeline *timeline_;
    mutable std::mutex mutex_;
    double now_ = 0.0;
};

Clock &currentClock();
// nullptr restores the real clock. The caller keeps ownership.
void setClock(Clock *clock);

// Installs a clock for the life of the guard, then restores the previous one.
class ScopedClock {
public:
    explicit ScopedClock(Clock &clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;

private:
    Clock *previous_;
};

// Blocking pacing wait, in seconds. Negative or NaN waits return at once.
void Delay(double seconds);

std::string escapeBytes(std::string_view bytes);

} // namespace qx::runtime
