#include "scpi_parser.h"

#include "runtime/strings.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <variant>

namespace qx::sim {
namespace {

using namespace scpi_error;
using qx::runtime::equalsNoCase;

constexpr std::size_t kMaxMnemonic = 12; // IEEE 488.2 program mnemonic length

bool isAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool isWordChar(char c) { return isAlpha(c) || isDigit(c) || c == '_'; }

// A line feed ends a message before the parser sees it, so it is no blank here.
constexpr std::string_view kScpiBlanks = " \t\r";

std::string_view trim(std::string_view text) { return qx::runtime::trim(text, kScpiBlanks); }

// ---- The command table, compiled once into keyword lists ------------------------------------

struct Keyword {
    std::string_view longForm;
    std::string_view shortForm; // the upper-case letters
    bool optional = false;
};

struct Compiled {
    const CommandRecord *record = nullptr;
    bool common = false;
    std::vector<Keyword> keywords;
};

Keyword keyword(std::string_view word, bool optional)
{
    std::size_t n = 0;
    while (n < word.size() && !std::islower(static_cast<unsigned char>(word[n])))
        ++n;
    return Keyword{word, word.substr(0, n), optional};
}

std::vector<Keyword> compileHeader(std::string_view pattern)
{
    std::vector<Keyword> out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const bool optional = pattern[i] == '[';
        if (optional || pattern[i] == ':')
            ++i;
        if (i < pattern.size() && pattern[i] == ':')
            ++i;
        std::size_t end = i;
        while (end < pattern.size() && isAlpha(pattern[end]))
            ++end;
        if (end > i)
            out.push_back(keyword(pattern.substr(i, end - i), optional));
        i = end;
        if (i < pattern.size() && pattern[i] == ':' && optional)
            ++i; // "[SOURce:]"
        if (i < pattern.size() && pattern[i] == ']')
            ++i;
    }
    return out;
}

const std::vector<Compiled> &compiledTable()
{
    static const std::vector<Compiled> table = [] {
        std::vector<Compiled> t;
        for (const CommandRecord &record : commandTable()) {
            Compiled c;
            c.record = &record;
            c.common = !record.header.empty() && record.header.front() == '*';
            if (!c.common)
                c.keywords = compileHeader(record.header);
            t.push_back(std::move(c));
        }
        return t;
    }();
    return table;
}

bool keywordMatches(std::string_view token, const Keyword &k)
{
    return equalsNoCase(token, k.shortForm) || equalsNoCase(token, k.longForm);
}

bool matches(const std::vector<std::string> &tokens, std::size_t t, const std::vector<Keyword> &keys, std::size_t k)
{
    if (k == keys.size())
        return t == tokens.size();
    if (t < tokens.size() && keywordMatches(tokens[t], keys[k]) && matches(tokens, t + 1, keys, k + 1))
        return true;
    return keys[k].optional && matches(tokens, t, keys, k + 1);
}

// ---- Headers ---------------------------------------------------------------------------------

struct Header {
    bool common = false;
    std::string commonName; // "*IDN"
    bool absolute = false;  // leading ':'
    std::vector<std::string> keywords;
    bool query = false;
};

// Reads the header at the start of `unit`; `rest` receives what follows it.
int parseHeader(std::string_view unit, Header &header, std::string_view &rest)
{
    std::size_t i = 0;
    if (unit[i] == '*') {
        std::size_t end = 1;
        while (end < unit.size() && isAlpha(unit[end]))
            ++end;
        if (end == 1)
            return SyntaxError;
        header.common = true;
        header.commonName = std::string(unit.substr(0, end));
        i = end;
    } else {
        if (unit[i] == ':') {
            header.absolute = true;
            ++i;
        }
        for (;;) {
            std::size_t end = i;
            if (end >= unit.size() || !isAlpha(unit[end]))
                return SyntaxError;
            while (end < unit.size() && isWordChar(unit[end]))
                ++end;
            std::string_view word = unit.substr(i, end - i);
            std::size_t digits = word.size();
            while (digits > 0 && isDigit(word[digits - 1]))
                --digits;
            if (digits < word.size() && word.substr(digits) != "1")
                return HeaderSuffixOutOfRange; // no node here takes a suffix other than 1
            word = word.substr(0, digits);
            if (word.size() > kMaxMnemonic)
                return MnemonicTooLong;
            header.keywords.emplace_back(word);
            i = end;
            if (i < unit.size() && unit[i] == ':') {
                ++i;
                continue;
            }
            break;
        }
    }
    if (i < unit.size() && unit[i] == '?') {
        header.query = true;
        ++i;
    }
    if (i < unit.size() && !isSpace(unit[i]))
        return HeaderSeparatorError;
    rest = unit.substr(i);
    return 0;
}

const Compiled *resolve(const Header &header, const std::vector<std::string> &tokens)
{
    for (const Compiled &c : compiledTable()) {
        if (c.record->query != header.query || c.common != header.common)
            continue;
        if (c.common ? equalsNoCase(c.record->header, header.commonName) : matches(tokens, 0, c.keywords, 0))
            return &c;
    }
    return nullptr;
}

// ---- Parameters -------------------------------------------------------------------------------

struct Numeric {
    double value = 0.0;
    std::string suffix; // as sent
};
struct Character {
    std::string word;
};
struct String {
    std::string text;
};
using Element = std::variant<Numeric, Character, String>;

int parseString(std::string_view text, Element &out)
{
    const char quote = text.front();
    std::string value;
    std::size_t i = 1;
    for (;;) {
        if (i >= text.size())
            return InvalidStringData; // no closing quote
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                value += quote;
                i += 2;
                continue;
            }
            break;
        }
        value += text[i++];
    }
    if (i + 1 != text.size())
        return SyntaxError;
    out = String{std::move(value)};
    return 0;
}

int parseNumber(std::string_view text, Element &out)
{
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return SyntaxError;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (e < text.size() && isDigit(text[e])) {
            while (e < text.size() && isDigit(text[e]))
                ++e;
            i = e;
        }
    }
    std::string_view number = text.substr(0, i);
    if (number.front() == '+')
        number.remove_prefix(1);
    Numeric n;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), n.value);
    if (ec != std::errc{} || ptr != number.data() + number.size() || !std::isfinite(n.value))
        return DataOutOfRange;
    std::string_view suffix = trim(text.substr(i));
    for (char c : suffix)
        if (!isAlpha(c))
            return SyntaxError;
    n.suffix = std::string(suffix);
    out = std::move(n);
    return 0;
}

int parseElement(std::string_view text, Element &out)
{
    const char c = text.front();
    if (c == '"' || c == '\'')
        return parseString(text, out);
    if (isDigit(c) || c == '+' || c == '-' || c == '.')
        return parseNumber(text, out);
    if (isAlpha(c)) {
        for (char w : text)
            if (!isWordChar(w))
                return SyntaxError;
        out = Character{std::string(text)};
        return 0;
    }
    return SyntaxError;
}

// Splits at commas outside quotes.
int parseElements(std::string_view rest, std::vector<Element> &elements)
{
    rest = trim(rest);
    if (rest.empty())
        return 0;
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        const char c = i < rest.size() ? rest[i] : ',';
        if (quote) {
            if (c == quote || i == rest.size())
                quote = 0;
            if (i < rest.size())
                continue;
        } else if (c == '"' || c == '\'') {
            quote = c;
            continue;
        }
        if (c != ',')
            continue;
        std::string_view piece = trim(rest.substr(start, i - start));
        if (piece.empty())
            return SyntaxError;
        Element e;
        if (int err = parseElement(piece, e))
            return err;
        elements.push_back(std::move(e));
        start = i + 1;
    }
    return 0;
}

struct SuffixRecord {
    Unit unit;
    std::string_view suffix;
    double scale;
};

constexpr std::array kSuffixes{
    SuffixRecord{Unit::Volt, "V", 1.0},     SuffixRecord{Unit::Volt, "MV", 1e-3},
    SuffixRecord{Unit::Volt, "KV", 1e3},    SuffixRecord{Unit::Ampere, "A", 1.0},
    SuffixRecord{Unit::Ampere, "MA", 1e-3}, SuffixRecord{Unit::Ampere, "UA", 1e-6},
    SuffixRecord{Unit::Hertz, "HZ", 1.0},   SuffixRecord{Unit::Hertz, "KHZ", 1e3},
    SuffixRecord{Unit::Hertz, "MHZ", 1e6},  SuffixRecord{Unit::Second, "S", 1.0},
    SuffixRecord{Unit::Second, "MS", 1e-3}, SuffixRecord{Unit::Second, "US", 1e-6},
    SuffixRecord{Unit::Degree, "DEG", 1.0},
};

int applySuffix(const Numeric &n, Unit unit, double &value)
{
    value = n.value;
    if (n.suffix.empty())
        return 0;
    if (unit == Unit::None)
        return SuffixNotAllowed;
    for (const SuffixRecord &s : kSuffixes)
        if (s.unit == unit && equalsNoCase(n.suffix, s.suffix)) {
            value = n.value * s.scale;
            return 0;
        }
    return InvalidSuffix;
}

// MIN / MINimum / MAX / MAXimum: -1, +1, or 0 for any other word.
int boundWord(std::string_view word)
{
    if (equalsNoCase(word, "MIN") || equalsNoCase(word, "MINIMUM"))
        return -1;
    if (equalsNoCase(word, "MAX") || equalsNoCase(word, "MAXIMUM"))
        return 1;
    return 0;
}

int wordValue(std::string_view word, ParamKind kind, double &value)
{
    const bool coupling = kind == ParamKind::Coupling;
    if (equalsNoCase(word, "ON") || (coupling && equalsNoCase(word, "ALL")))
        value = 1.0;
    else if (equalsNoCase(word, "OFF") || (coupling && equalsNoCase(word, "NONE")))
        value = 0.0;
    else
        return InvalidCharacterData;
    return 0;
}

int numericArgument(const Element &e, const CommandRecord &record, const Instrument &instrument, Argument &arg)
{
    if (const auto *n = std::get_if<Numeric>(&e))
        return applySuffix(*n, record.unit, arg.number);
    const auto *c = std::get_if<Character>(&e);
    if (!c || !record.bounds)
        return DataTypeError;
    const int bound = boundWord(c->word);
    if (bound == 0)
        return InvalidCharacterData;
    const Bounds b = record.bounds(instrument);
    arg.number = bound < 0 ? b.min : b.max;
    return 0;
}

int convert(const std::vector<Element> &elements, const CommandRecord &record, const Instrument &instrument,
            Argument &arg)
{
    const bool optional = record.param == ParamKind::OptionalNumber || record.param == ParamKind::QueryBound ||
                          record.param == ParamKind::None;
    if (elements.empty())
        return optional ? 0 : MissingParameter;
    if (elements.size() > 1 || record.param == ParamKind::None)
        return ParameterNotAllowed;
    const Element &e = elements.front();
    arg.present = true;
    switch (record.param) {
    case ParamKind::Number:
    case ParamKind::OptionalNumber:
    case ParamKind::QueryBound:
        if (record.param == ParamKind::QueryBound && !std::holds_alternative<Character>(e))
            return DataTypeError;
        return numericArgument(e, record, instrument, arg);
    case ParamKind::Integer:
    case ParamKind::Boolean:
    case ParamKind::Coupling:
        if (const auto *n = std::get_if<Numeric>(&e)) {
            if (!n->suffix.empty())
                return SuffixNotAllowed;
            if (std::fabs(n->value) > 2e9)
                return DataOutOfRange;
            arg.number = std::round(n->value);
            if (record.param != ParamKind::Integer)
                arg.number = arg.number != 0.0 ? 1.0 : 0.0;
            return 0;
        }
        if (const auto *c = std::get_if<Character>(&e); c && record.param != ParamKind::Integer)
            return wordValue(c->word, record.param, arg.number);
        return DataTypeError;
    case ParamKind::String:
        if (const auto *s = std::get_if<String>(&e)) {
            arg.text = s->text;
            return 0;
        }
        return DataTypeError;
    case ParamKind::None:
        break;
    }
    return ParameterNotAllowed;
}

// ---- Messages --------------------------------------------------------------------------------

// Splits at ';' outside quotes.
std::vector<std::string_view> splitUnits(std::string_view message)
{
    std::vector<std::string_view> units;
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            units.push_back(message.substr(start, i - start));
            start = i + 1;
        }
    }
    units.push_back(message.substr(start));
    return units;
}

bool isCommandError(int code) { return code <= -100 && code > -200; }

struct UnitOutcome {
    int error = 0;
    const Compiled *command = nullptr;
    std::string answer;
    bool answered = false;
};

UnitOutcome executeUnit(std::string_view unit, std::vector<std::string> &path, Instrument &instrument, double now)
{
    UnitOutcome out;
    Header header;
    std::string_view rest;
    if ((out.error = parseHeader(unit, header, rest)))
        return out;
    std::vector<std::string> tokens;
    if (!header.common) {
        if (!header.absolute)
            tokens = path;
        tokens.insert(tokens.end(), header.keywords.begin(), header.keywords.end());
    }
    out.command = resolve(header, tokens);
    if (!out.command) {
        out.error = UndefinedHeader;
        return out;
    }
    if (!header.common)
        path.assign(tokens.begin(), tokens.end() - 1);
    std::vector<Element> elements;
    Argument arg;
    const CommandRecord &record = *out.command->record;
    if ((out.error = parseElements(rest, elements)) || (out.error = convert(elements, record, instrument, arg)))
        return out;
    if (record.param == ParamKind::QueryBound && arg.present) {
        out.answered = true;
        out.answer = formatSetting(arg.number);
        return out;
    }
    Context context{instrument, now};
    Reply reply = record.handler(context, arg);
    out.error = reply.error;
    if (record.query && reply.error == 0) {
        out.answered = true;
        out.answer = std::move(reply.text);
    }
    return out;
}

} // namespace

MessageResult executeMessage(std::string_view message, Instrument &instrument, double now)
{
    MessageResult result;
    std::vector<std::string_view> units = splitUnits(message);
    if (units.size() > 1 && trim(units.back()).empty())
        units.pop_back(); // a ';' before the terminator is tolerated
    if (units.size() == 1 && trim(units.front()).empty())
        return result; // an empty message is no command
    std::vector<std::string> path;
    bool answered = false;
    for (std::string_view raw : units) {
        std::string_view unit = trim(raw);
        UnitOutcome outcome;
        if (unit.empty())
            outcome.error = SyntaxError;
        else
            outcome = executeUnit(unit, path, instrument, now);
        if (outcome.answered) {
            if (answered)
                result.response += ';';
            result.response += outcome.answer;
            answered = true;
        }
        if (outcome.error == 0) {
            result.executed.push_back(outcome.command->record);
            continue;
        }
        instrument.raise(outcome.error);
        if (isCommandError(outcome.error))
            break;
    }
    return result;
}

const CommandRecord *findCommand(std::string_view header)
{
    header = trim(header);
    if (header.empty())
        return nullptr;
    Header parsed;
    std::string_view rest;
    if (parseHeader(header, parsed, rest) != 0 || !trim(rest).empty())
        return nullptr;
    const Compiled *c = resolve(parsed, parsed.keywords);
    return c ? c->record : nullptr;
}

} // namespace qx::sim
