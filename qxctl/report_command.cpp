#include "report_command.h"

#include <iostream>

namespace qx::ctl {

int runReportCommand(const Command &)
{
    std::cerr << "qxctl: report: not built yet\n"; // replaced by the report maker
    return 1;
}

} // namespace qx::ctl
