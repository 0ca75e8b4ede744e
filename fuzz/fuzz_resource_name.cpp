// Resource names come from the operator, option strings and environment variables. A name that
// parses must print in a canonical form that parses again to the same resource.
#include "visa/device.h" // canonicalResourceName
#include "visa/resource_name.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using qx::visa::ResourceName;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    ResourceName name;
    if (qx::visa::parseResourceName(std::string_view(text), name) != VI_SUCCESS)
        return 0;
    const std::string canonical = name.canonical();
    ResourceName again;
    if (qx::visa::parseResourceName(std::string_view(canonical), again) != VI_SUCCESS || again.canonical() != canonical)
        std::abort();
    if (qx::visa::canonicalResourceName(text) != canonical)
        std::abort();
    ResourceName fromCString; // the C-string entry stops at the first NUL
    qx::visa::parseResourceName(text.c_str(), fromCString);
    return 0;
}
