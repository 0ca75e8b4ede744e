#include "records_command.h"

#include <iostream>

namespace qx::ctl {

int runRecordsCommand(const Command &, bool)
{
    std::cerr << "qxctl: records: not built yet\n"; // replaced by the store's commands
    return 1;
}

} // namespace qx::ctl
