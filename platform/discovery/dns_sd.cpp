#include "discovery/dns_sd.h"

namespace qx::discovery {

std::string cutUtf8(const std::string &text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) // a continuation byte
        --end;
    return text.substr(0, end);
}

} // namespace qx::discovery
