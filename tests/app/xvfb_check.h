// The checks of the front-panel programs run in a real X server: each failure is told on
// stderr and counted, and the program goes on to report them all.
#pragma once

#include <cstdio>
#include <string>

namespace qx::app::test {

inline int failures = 0;

inline bool check(bool condition, const std::string &what)
{
    if (!condition) {
        ++failures;
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    }
    return condition;
}

} // namespace qx::app::test
