#include "gpib/gpib.h"

namespace qx::gpib {

const char *gpibErrorText(int code) noexcept
{
    for (const GpibErrorText &entry : kGpibErrorTexts)
        if (entry.code == code)
            return entry.text;
    return kNoGpibError;
}

} // namespace qx::gpib
