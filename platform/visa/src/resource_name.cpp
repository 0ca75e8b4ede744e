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

// The host of a TCPIP name, without the brackets of an IPv6 address; false when it is none.
bool parseHost(std::string_view host, ResourceName &out)
{
    if (host.empty())
        return false;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    }
    if (host.find_first_of(" \t[]/") != std::string_view::npos)
        return false;
    out.host = lowerCase(host);
    return true;
}

bool parseTcpSocket(const std::vector<std::string_view> &tokens, ResourceName &out)
{
    const auto board = parseBoard(tokens[0].substr(5));
    const auto port = parseNumber(tokens[2], 65535);
    if (!board || !port || *port == 0 || !parseHost(tokens[1], out))
        return false;
    out.kind = ResourceKind::TcpSocket;
    out.board = *board;
    out.port = static_cast<ViUInt16>(*port);
    return true;
}

// "gpib<board>,<primary>[,<secondary>]" with addresses 0..30.
bool gpibDeviceValid(std::string_view name)
{
    std::size_t at = 4;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9')
        ++at;
    if (at == 4 || at >= name.size() || name[at] != ',')
        return false;
    std::string_view rest = name.substr(at + 1);
    const std::size_t comma = rest.find(',');
    if (!parseNumber(rest.substr(0, comma), 30))
        return false;
    return comma == std::string_view::npos || parseNumber(rest.substr(comma + 1), 30).has_value();
}

bool deviceNameValid(std::string_view name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ',' || c == '_' || c == '.';
        if (!plain)
            return false;
    }
    if (name.starts_with("hislip"))
        return false; // another protocol
    return !name.starts_with("gpib") || gpibDeviceValid(name);
}

bool parseVxi11(const std::vector<std::string_view> &tokens, ResourceName &out)
{
    std::size_t count = tokens.size();
    if (count >= 2 && equalsNoCase(tokens[count - 1], "INSTR"))
        --count;
    const auto board = parseBoard(tokens[0].substr(5));
    if (count < 2 || count > 3 || !board || !parseHost(tokens[1], out))
        return false;
    out.device = count == 3 ? lowerCase(tokens[2]) : "inst0";
    if (!deviceNameValid(out.device))
        return false;
    out.kind = ResourceKind::Vxi11;
    out.board = *board;
    return true;
}

bool parseTcpip(const std::vector<std::string_view> &tokens, ResourceName &out)
{
    if (tokens.size() == 4 && equalsNoCase(tokens[3], "SOCKET"))
        return parseTcpSocket(tokens, out);
    return parseVxi11(tokens, out);
}

// "TCPIP<board>::<host>::", an IPv6 host in brackets.
std::string tcpipPrefix(ViUInt16 board, const std::string &host)
{
    const bool ipv6 = host.find(':') != std::string::npos;
    return "TCPIP" + std::to_string(board) + "::" + (ipv6 ? "[" + host + "]" : host) + "::";
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
    case ResourceKind::TcpSocket:
        return tcpipPrefix(board, host) + std::to_string(port) + "::SOCKET";
    case ResourceKind::Vxi11:
        return tcpipPrefix(board, host) + device + "::INSTR";
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
        ok = parseTcpip(tokens, name);
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
