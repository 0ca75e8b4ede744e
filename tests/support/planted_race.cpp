// Two threads write one plain int without a lock: the thread sanitizer has to report it.
#include <thread>

namespace {
int shared = 0;
void touch() { shared = shared + 1; }
} // namespace

int main()
{
    std::thread other(touch);
    touch();
    other.join();
    return shared > 0 ? 0 : 1;
}
