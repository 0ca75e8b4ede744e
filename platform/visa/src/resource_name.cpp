#include "visa/resource_name.h"

#include <optional>
#include <vector>

#include "runtime/strings.h"
#include "visa/device.h"

namespace qx::visa {
namespace {

using qx::runtime::equalsNoCase;
using qx::runtime::startsWithNoCase;

// Splits at "::", keeping a bracketed IPv6 host ("[::1]") whole. Empty on a stray bracket.
std::vector<std::string_view> splitTokens(std::string_view text)
{
    std::vector<std::string_view> tokens;
    std::size_t start = 0;
    for (;;) {
        std::size_t searchFrom = start;
        if (start < text.size() && text[start] == '[') {
            const std::size_t close = text.find(']', start);
            if (close == std::string_view::npos)
                return {};
            searchFrom = close;
        }
        const std::size_t sep = text.find("::", searchFrom);
        if (sep == std::string_view::npos) {
            tokens.push_back(text.substr(start));
            return tokens;
        }
        tokens.push_back(text.substr(start, sep - start));
        start = sep + 2;
    }
}

std::optional<unsigned> parseNumber(std::string_view digits, unsigned max)
{
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

// The board after a class keyword: none means 0.
std::optional<ViUInt16> parseBoard(std::string_view rest)
{
    if (rest.empty())
        return 0;
    const auto n = parseNumber(rest, 0xFFFF);
    if (!n)
        return std::nullopt;
    return static_cast<ViUInt16>(*n);
}

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool parseSerial(const std::vector<std::string_view> &tokens, ResourceName &out)
{
    if (tokens.size() > 2 || (tokens.size() == 2 && !equalsNoCase(tokens[1], "INSTR")))
        return false;
    const std::string_view rest = tokens[0].substr(4);
    out.kind = ResourceKind::Serial;
    if (!rest.empty() && rest[0] == '/') {
        // A path names the device directly; it keeps its case. One ending in ':' would run into
        // the "::INSTR" of its canonical name, which then names another resource.
        if (rest.size() < 2 || rest.back() == ':')
            return false;
        out.path = std::string(rest);
        return true;
    }
    const auto board = parseBoard(rest);
    if (!board)
        return false;
    out.board = *board;
    return true;
}

bool parseGpib(const std::vector<std::string_view> &tokens, ResourceName &out)
{
    std::size_t count = tokens.size();
    if (count >= 2 && equalsNoCase(tokens[count - 1], "INSTR"))
        --count;
    if (count < 2 || count > 3)
        return false;
    const auto board = parseBoard(tokens[0].substr(4));
    const auto primary = parseNumber(tokens[1], 30);
    if (!board || !primary)
        return false;
    out.kind = ResourceKind::Gpib;
    out.board = *board;
    out.primary = static_cast<ViUInt16>(*primary);
    if (count == 3) {
        const auto secondary = parseNumber(tokens[2], 30);
        if (!secondary)
            return false;
        out.secondary = static_cast<ViUInt16>(*secondary);
    }
    return true;
}

bool parseTcpSocket(const std::vector<std::string_view> &tokens, ResourceName &out)
{
    if (tokens.size() != 4 || !equalsNoCase(tokens[3], "SOCKET"))
        return false;
    const auto board = parseBoard(tokens[0].substr(5));
    const auto port = parseNumber(tokens[2], 65535);
    std::string_view host = tokens[1];
    if (!board || !port || *port == 0 || host.empty())
        return false;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    }
    if (host.find_first_of(" \t[]/") != std::string_view::npos)
        return false;
    out.kind = ResourceKind::TcpSocket;
    out.board = *board;
    out.host = lowerCase(host);
    out.port = static_cast<ViUInt16>(*port);
    return true;
}

} // namespace

std::string ResourceName::canonical() const
{
    switch (kind) {
    case ResourceKind::Serial:
        return path.empty() ? "ASRL" + std::to_string(board) + "::INSTR" : "ASRL" + path + "::INSTR";
    case ResourceKind::Gpib: {
        std::string name = "GPIB" + std::to_string(board) + "::" + std::to_string(primary);
        if (secondary != VI_NO_SEC_ADDR)
            name += "::" + std::to_string(secondary);
        return name + "::INSTR";
    }
    case ResourceKind::TcpSocket: {
        const bool ipv6 = host.find(':') != std::string::npos;
        return "TCPIP" + std::to_string(board) + "::" + (ipv6 ? "[" + host + "]" : host) +
               "::" + std::to_string(port) + "::SOCKET";
    }
    }
    return {};
}

ViStatus parseResourceName(std::string_view text, ResourceName &out)
{
    const std::vector<std::string_view> tokens = splitTokens(text);
    if (tokens.empty())
        return VI_ERROR_INV_RSRC_NAME;
    for (std::string_view token : tokens)
        if (token.empty())
            return VI_ERROR_INV_RSRC_NAME;
    ResourceName name;
    bool ok = false;
    if (startsWithNoCase(tokens[0], "ASRL"))
        ok = parseSerial(tokens, name);
    else if (startsWithNoCase(tokens[0], "GPIB"))
        ok = parseGpib(tokens, name);
    else if (startsWithNoCase(tokens[0], "TCPIP"))
        ok = parseTcpSocket(tokens, name);
    if (!ok)
        return VI_ERROR_INV_RSRC_NAME;
    out = std::move(name);
    return VI_SUCCESS;
}

ViStatus parseResourceName(const char *text, ResourceName &out)
{
    if (!text)
        return VI_ERROR_INV_RSRC_NAME;
    return parseResourceName(std::string_view(text), out);
}

std::string canonicalResourceName(std::string_view resource)
{
    try {
        ResourceName name;
        if (parseResourceName(resource, name) != VI_SUCCESS)
            return {};
        return name.canonical();
    } catch (...) {
        return {};
    }
}

} // namespace qx::visa
