#include "snapshot.h"

#include <cstdio>
#include <ctime>

namespace qx::monitor {

std::string Channel::column() const
{
    std::string name = kind;
    for (char &c : name)
        if (c == '-')
            c = '_';
    return phase == 0 ? name : name + "_p" + std::to_string(phase);
}

std::string utcText(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto millis = floor<milliseconds>(time);
    const auto whole = floor<seconds>(millis);
    const std::time_t seconds = system_clock::to_time_t(whole);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>((millis - whole).count()));
    return text;
}

std::string utcTimestamp() { return utcText(std::chrono::system_clock::now()); }

} // namespace qx::monitor
