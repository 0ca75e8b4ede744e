#include "faults.h"

#include "scpi_parser.h"

#include <cmath>

namespace qx::sim {

std::string validateFaults(const Faults &faults)
{
    if (!std::isfinite(faults.slowSeconds) || faults.slowSeconds < 0.0 || faults.slowSeconds > 600.0)
        return "slow answer delay must be 0 to 600 s";
    if (faults.oversize > 16u * 1024u * 1024u)
        return "oversize answers are limited to 16 MiB";
    if (faults.closeAfter && *faults.closeAfter == 0)
        return "the line can close after 1 message at the earliest";
    if (faults.errorAfter) {
        if (!findCommand(faults.errorAfter->header))
            return "unknown command header for the error fault: " + faults.errorAfter->header;
        if (faults.errorAfter->code == 0)
            return "the error fault needs a nonzero error number";
    }
    return {};
}

std::string applyAnswerFaults(const Faults &faults, std::string answer)
{
    if (faults.silent)
        return {};
    if (faults.garbage)
        answer = std::string(kGarbageAnswer) + "\n";
    if (faults.oversize > answer.size()) {
        // Filler before the terminator keeps the answer one message, just too long to take in.
        const bool terminated = !answer.empty() && answer.back() == '\n';
        if (terminated)
            answer.pop_back();
        answer.append(faults.oversize - answer.size() - (terminated ? 1 : 0), 'X');
        if (terminated)
            answer += '\n';
    }
    return answer;
}

} // namespace qx::sim
