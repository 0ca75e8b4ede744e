// Text put into HTML, XML and JSON, escaped for each.
#pragma once

#include <string>
#include <string_view>

namespace qx::gate::web {

// & < > " ' as character references: safe in element text and in quoted attributes, HTML and XML.
// Control characters other than tab, CR and LF (not allowed in XML 1.0) become U+FFFD.
std::string escapeMarkup(std::string_view text);

// A JSON string literal, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(std::string_view text);

} // namespace qx::gate::web
