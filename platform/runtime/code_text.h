// One record for the tables that give a status or error code its text, and their lookup.
#pragma once

#include <cstdint>
#include <span>

namespace qx::runtime {

struct CodeText {
    std::int32_t code;
    const char *text;
};

// The text of `code` in `table`, or nullptr when the table does not know it.
constexpr const char *textOf(std::span<const CodeText> table, std::int32_t code)
{
    for (const CodeText &row : table)
        if (row.code == code)
            return row.text;
    return nullptr;
}

} // namespace qx::runtime
