// One client on a byte stream (the pseudo-terminal or a TCP connection), as the server loop
// drives it: bytes in are cut into messages at '\n' and handed to the simulator; answers wait
// until their time (slow fault) and then go out as fast as the descriptor takes them.
#pragma once

#include "simulator.h"

#include <deque>
#include <string>

namespace qx::sim {

class StreamPeer {
public:
    static constexpr std::size_t kMaxInput = 64 * 1024;        // unterminated input beyond this is dropped
    static constexpr std::size_t kMaxOutput = 4 * 1024 * 1024; // a client that never reads loses answers

    // Takes over a non-blocking descriptor (-1: none).
    void attach(int fd);
    void close();
    int fd() const { return fd_; }
    bool active() const { return fd_ >= 0; }

    enum class Result { Ok, Gone };
    // Reads what is there and runs the complete messages through the simulator.
    Result readFrom(Simulator &simulator, double now);
    // Writes what is due; Gone when the write failed or the close fault has done its work.
    Result writeDue(double now);
    bool wantsWrite() const { return !sending_.empty(); }
    // Seconds until the next answer is due, or a negative number when none waits.
    double untilNextDue(double now) const;

private:
    struct Pending {
        double due;
        std::string bytes;
        bool close;
    };
    void promote(double now);

    int fd_ = -1;
    std::string input_;
    std::deque<Pending> waiting_;
    std::string sending_;
    bool closeWhenSent_ = false;
    bool closing_ = false; // the close fault fired: no more input is taken
};

} // namespace qx::sim
