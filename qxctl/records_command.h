// qxctl records: the test records of past runs, from the local file or the lab's server.
#pragma once

#include "command_line.h"

namespace qx::ctl {

// records list | show RUN | sync, on the store command.records names; the exit status.
int runRecordsCommand(const Command &command, bool json);

} // namespace qx::ctl
