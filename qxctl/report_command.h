// qxctl report: a PDF or HTML report made from a stored test record.
#pragma once

#include "command_line.h"

namespace qx::ctl {

// report RUN --pdf FILE | --html FILE, from the store command.records names; the exit status.
int runReportCommand(const Command &command);

} // namespace qx::ctl
