#include "markup.h"

namespace qx::gate::web {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// The length of the well-formed UTF-8 sequence at `i`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    if ((length == 2 && lead < 0xC2) || (length == 3 && lead == 0xE0 && byte(i + 1) < 0xA0) ||
        (length == 3 && lead == 0xED && byte(i + 1) >= 0xA0) || (length == 4 && lead == 0xF0 && byte(i + 1) < 0x90) ||
        (length == 4 && lead > 0xF4) || (length == 4 && lead == 0xF4 && byte(i + 1) >= 0x90))
        return 0; // overlong, a surrogate, or beyond U+10FFFF
    return length;
}

// Walks the text by character: `ascii` gets each ASCII byte, well-formed sequences pass whole,
// anything else becomes U+FFFD.
template <class Ascii> std::string transcribe(std::string_view text, Ascii ascii)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else if (length == 1) {
            ascii(out, text[i++]);
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

} // namespace

std::string escapeMarkup(std::string_view text)
{
    return transcribe(text, [](std::string &out, char c) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += kReplacement;
            else
                out += c;
        }
    });
}

std::string jsonString(std::string_view text)
{
    return '"' +
           transcribe(text,
                      [](std::string &out, char c) {
                          static const char kHex[] = "0123456789abcdef";
                          const auto u = static_cast<unsigned char>(c);
                          if (c == '"' || c == '\\') {
                              out += '\\';
                              out += c;
                          } else if (u < 0x20 || c == '<' || c == '>' || c == '&') { // also safe inside a <script>
                              out += "\\u00";
                              out += kHex[u >> 4];
                              out += kHex[u & 0xF];
                          } else {
                              out += c;
                          }
                      }) +
           '"';
}

} // namespace qx::gate::web
