// A time limit in milliseconds from its creation, on the steady clock; a negative limit never
// expires. For poll() and other system calls that wait on real descriptors.
#pragma once

#include <chrono>

namespace qx::runtime {

class Deadline {
public:
    explicit Deadline(long long ms);
    static Deadline never() { return Deadline(-1); }
    bool infinite() const { return infinite_; }
    // For poll(): -1 when infinite, 0 when expired.
    int remainingMs() const;

private:
    bool infinite_;
    std::chrono::steady_clock::time_point end_;
};

} // namespace qx::runtime
