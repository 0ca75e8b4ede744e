// A driver session on the instrument, closed when it goes, and the driver's words for a failure.
#pragma once

#include "failure_text.h"
#include "zev_qx70.h"

#include <string>

namespace qx::ctl {

class Source {
public:
    Source() = default;
    ~Source();
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    // Opens the session (identification query, no reset). The status of ZEV_QX70_init.
    ViStatus open(const std::string &resource, int baud);
    ViSession session() const { return vi_; }

private:
    ViSession vi_ = VI_NULL;
};

using sequence::failureText;

} // namespace qx::ctl
