// The qxsim program run as a child process, as an outside client meets it: started with its
// command line, ready once it prints its one line, stopped with SIGTERM.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace qx::test {

// Up to and including the next '\n' read from fd; "" on time-out or end of file.
std::string readLine(int fd, int timeoutMs = 3000);

class QxSimProcess {
public:
    // Runs `program` with `args` and waits up to 10 s for its ready line (empty if none came).
    QxSimProcess(const std::string &program, std::vector<std::string> args);
    ~QxSimProcess();
    QxSimProcess(const QxSimProcess &) = delete;
    QxSimProcess &operator=(const QxSimProcess &) = delete;

    // SIGTERM, then the exit status: -2 when a signal ended it, -1 when it did not exit within
    // 5 s (it is then killed). Later calls return the same status.
    int stop();
    // The TCP port named in the ready line, -1 when it names none.
    int port() const;

    std::string ready;

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int status_ = -1;
};

} // namespace qx::test
