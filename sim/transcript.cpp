#include "transcript.h"

#include "runtime/clock.h"

#include <cstdio>

namespace qx::sim {

bool Transcript::openFile(const std::string &path)
{
    file_.close();
    file_.clear();
    file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    return file_.is_open();
}

std::string Transcript::formatLine(double seconds, char direction, std::string_view text)
{
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%.3f %c ", seconds, direction);
    return stamp + qx::runtime::escapeBytes(text);
}

void Transcript::record(double when, char direction, std::string_view text)
{
    std::string line = formatLine(when - start_, direction, text);
    if (file_.is_open())
        file_ << line << '\n' << std::flush;
    if (lines_.size() >= kMaxLines)
        lines_.pop_front();
    lines_.push_back(std::move(line));
}

} // namespace qx::sim
