#include "source.h"

namespace qx::ctl {

Source::~Source()
{
    if (vi_ != VI_NULL)
        ZEV_QX70_close(vi_);
}

ViStatus Source::open(const std::string &resource, int baud)
{
    std::string name = resource; // the driver takes a mutable resource name
    return ZEV_QX70_init(name.data(), VI_TRUE, VI_FALSE, &vi_, static_cast<ViInt32>(baud));
}

} // namespace qx::ctl
