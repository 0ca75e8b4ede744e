// What a program message sent to an instrument asks of it, read as it passes, piece by piece:
// whether it holds a query (an answer will follow) and whether it holds nothing but queries (it
// changes nothing on the instrument). Units are split at ';' and at line feeds outside quoted
// strings; a unit is a query when its header ends in '?'.
#pragma once

#include <string_view>

namespace qx::serve {

class MessageScan {
public:
    void feed(std::string_view piece);
    void reset() { *this = MessageScan{}; }

    // A '?' outside quoted strings.
    bool hasQuery() const { return hasQuery_; }
    // Every unit with a header is a query (true for a message of no units).
    bool onlyQueries() const;

private:
    void endUnit();

    char quote_ = 0;           // the quote that opened the string we are in, 0 outside strings
    bool hasQuery_ = false;
    bool settingSeen_ = false; // a unit whose header does not end in '?'
    bool inHeader_ = false;    // reading the current unit's header
    bool headerDone_ = false;  // the current unit's header has ended
    char lastHeaderChar_ = 0;
};

} // namespace qx::serve
