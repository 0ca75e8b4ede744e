#include "runtime/deadline.h"

#include <climits>

namespace qx::runtime {

Deadline::Deadline(long long ms)
    : infinite_(ms < 0), end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms))
{
}

int Deadline::remainingMs() const
{
    if (infinite_)
        return -1;
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(end_ - steady_clock::now()).count();
    if (left <= 0)
        return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

} // namespace qx::runtime
