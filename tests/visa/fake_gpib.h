// A stand-in for linux-gpib's libgpib.so.0: the GPIB loader opens it by path and calls its ib*
// functions; a test links it too, to script the bus and see what went over it.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#define FAKE_GPIB_EXPORT __attribute__((visibility("default")))

namespace fake_gpib {

struct Write {
    std::string bytes;
    bool eoi;
    bool operator==(const Write &) const = default;
};

struct Bus {
    std::vector<int> ibdev;                // the arguments of the last ibdev, in order
    int timeoutCode = -1, eosMode = 0;     // of the last ibtmo and ibeos
    int clears = 0;
    bool online = false, eoi = true;
    std::vector<Write> writes;
    std::deque<std::pair<std::string, bool>> answers; // bytes, END
    int failOpen = -1, failWrite = -1; // scripted failures: the iberr of the next failing call, -1 for none
};

FAKE_GPIB_EXPORT Bus &bus();

} // namespace fake_gpib
