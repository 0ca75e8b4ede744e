// Record of the traffic: one line per message, "<seconds since start, 3 decimals> <direction>
// <text>", '<' for what the instrument received and '>' for what it answered, control characters
// escaped ("\n" appears as \n). Lines go to an optional file (flushed each line) and are kept in
// memory, the most recent kMaxLines of them, for tests.
#pragma once

#include <cstddef>
#include <deque>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace qx::sim {

class Transcript {
public:
    static constexpr std::size_t kMaxLines = 100000;

    explicit Transcript(double startSeconds) : start_(startSeconds) {}

    // Starts writing to `path` (truncated). False when it cannot be opened.
    bool openFile(const std::string &path);
    void received(double when, std::string_view message) { record(when, '<', message); }
    void answered(double when, std::string_view answer) { record(when, '>', answer); }
    std::vector<std::string> lines() const { return {lines_.begin(), lines_.end()}; }

    static std::string formatLine(double seconds, char direction, std::string_view text);

private:
    void record(double when, char direction, std::string_view text);

    double start_;
    std::ofstream file_;
    std::deque<std::string> lines_;
};

} // namespace qx::sim
