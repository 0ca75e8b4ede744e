#include "serve/scpi_message.h"

namespace qx::serve {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

} // namespace

void MessageScan::endUnit()
{
    if (inHeader_ || headerDone_)
        settingSeen_ = settingSeen_ || lastHeaderChar_ != '?';
    inHeader_ = headerDone_ = false;
    lastHeaderChar_ = 0;
}

void MessageScan::feed(std::string_view piece)
{
    for (const char c : piece) {
        if (quote_ != 0) {
            if (c == quote_)
                quote_ = 0; // a doubled quote closes and reopens: the same to us
            continue;
        }
        if (c == '"' || c == '\'') {
            quote_ = c;
            headerDone_ = headerDone_ || inHeader_;
            inHeader_ = false;
            continue;
        }
        if (c == '?')
            hasQuery_ = true;
        if (c == ';' || c == '\n') {
            endUnit();
            continue;
        }
        if (isSpace(c)) {
            headerDone_ = headerDone_ || inHeader_;
            inHeader_ = false;
            continue;
        }
        if (!headerDone_) {
            inHeader_ = true;
            lastHeaderChar_ = c;
        }
    }
}

bool MessageScan::onlyQueries() const
{
    if (inHeader_ || headerDone_)
        return !settingSeen_ && lastHeaderChar_ == '?';
    return !settingSeen_;
}

} // namespace qx::serve
