#include "ui/panel_resource.h"

#include "ui/toolkit.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cctype>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>

namespace qx::ui {
namespace {

using nlohmann::json;

constexpr std::string_view kFormat = "qx-panel-resource";
constexpr int kVersion = 1;

struct TypeRule {
    ValueType type;
    const char *name;
    double lowest;
    double highest;
};

constexpr TypeRule kTypeRules[] = {
    {ValueType::None, "none", 0.0, 0.0},
    {ValueType::Int, "int", double(INT_MIN), double(INT_MAX)},
    {ValueType::Int16, "int16", -32768.0, 32767.0},
    {ValueType::Double, "double", -DBL_MAX, DBL_MAX},
    {ValueType::Text, "text", 0.0, 0.0},
};

constexpr double kDefaultChartSeconds = 300.0;

// Which value types each kind takes and which keys it adds to the common ones.
struct KindRule {
    ControlKind kind;
    const char *name;
    std::array<ValueType, 3> types; // repeats fill unused slots
    std::string_view extraKeys;     // blank-separated
};

constexpr KindRule kKindRules[] = {
    {ControlKind::Numeric, "numeric", {ValueType::Int, ValueType::Int16, ValueType::Double}, "unit min max step precision"},
    {ControlKind::Indicator, "indicator", {ValueType::Int, ValueType::Int16, ValueType::Double}, "unit min max precision large"},
    {ControlKind::Text, "text", {ValueType::Text, ValueType::Text, ValueType::Text}, "items"},
    {ControlKind::Ring, "ring", {ValueType::Int, ValueType::Int16, ValueType::Int16}, "items"},
    {ControlKind::TextBox, "text_box", {ValueType::Text, ValueType::Text, ValueType::Text}, ""},
    {ControlKind::StripChart, "strip_chart", {ValueType::None, ValueType::None, ValueType::None}, "seconds"},
    {ControlKind::TextIndicator, "text_indicator", {ValueType::Text, ValueType::Text, ValueType::Text}, ""},
    {ControlKind::Switch, "switch", {ValueType::Int, ValueType::Int16, ValueType::Int16}, "off_text on_text"},
    {ControlKind::Lamp, "lamp", {ValueType::Int, ValueType::Int16, ValueType::Int16}, "off_text on_text"},
    {ControlKind::Toggle, "toggle", {ValueType::Int, ValueType::Int16, ValueType::Int16}, ""},
    {ControlKind::Button, "button", {ValueType::None, ValueType::None, ValueType::None}, ""},
};

constexpr std::string_view kControlKeys = "name id kind type label callback dimmed default";
constexpr std::string_view kGroupKeys = "title row column row_span column_span layout controls";
constexpr std::string_view kPanelKeys = "name number title callback groups";
constexpr std::string_view kResourceKeys = "format version panels";

struct ResourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const TypeRule &typeRule(ValueType type)
{
    for (const TypeRule &rule : kTypeRules)
        if (rule.type == type)
            return rule;
    return kTypeRules[0];
}

const KindRule &kindRule(ControlKind kind)
{
    for (const KindRule &rule : kKindRules)
        if (rule.kind == kind)
            return rule;
    return kKindRules[0];
}

bool listed(std::string_view words, std::string_view word)
{
    std::size_t start = 0;
    while (start < words.size()) {
        std::size_t end = words.find(' ', start);
        if (end == std::string_view::npos)
            end = words.size();
        if (words.substr(start, end - start) == word)
            return true;
        start = end + 1;
    }
    return false;
}

bool isIdentifier(const std::string &text, bool upperCaseOnly)
{
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    return std::all_of(text.begin(), text.end(), [upperCaseOnly](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == '_' || std::isdigit(u) || (upperCaseOnly ? std::isupper(u) : std::isalpha(u));
    });
}

// Reads one JSON object, naming its place in the file in every complaint.
class Node {
public:
    Node(const json &value, std::string path) : value_(value), path_(std::move(path))
    {
        if (!value_.is_object())
            fail("must be an object");
    }

    [[noreturn]] void fail(const std::string &what) const { throw ResourceError(path_ + ": " + what); }

    void allowOnly(std::string_view common, std::string_view extra = {}) const
    {
        for (const auto &item : value_.items())
            if (!listed(common, item.key()) && !listed(extra, item.key()))
                fail("unknown key \"" + item.key() + "\"");
    }

    bool has(const char *key) const { return value_.contains(key); }

    const json &at(const char *key) const
    {
        if (!has(key))
            fail(std::string("missing \"") + key + "\"");
        return value_.at(key);
    }

    std::string text(const char *key, std::string fallback = {}) const
    {
        if (!has(key))
            return fallback;
        const json &v = value_.at(key);
        if (!v.is_string())
            fail(std::string("\"") + key + "\" must be a string");
        return v.get<std::string>();
    }

    std::string requiredText(const char *key) const
    {
        at(key);
        return text(key);
    }

    int integer(const char *key, int fallback) const
    {
        if (!has(key))
            return fallback;
        const json &v = value_.at(key);
        if (!v.is_number_integer() || v.get<long long>() < INT_MIN || v.get<long long>() > INT_MAX)
            fail(std::string("\"") + key + "\" must be an integer");
        return v.get<int>();
    }

    int requiredInteger(const char *key) const
    {
        at(key);
        return integer(key, 0);
    }

    double number(const char *key, double fallback) const
    {
        if (!has(key))
            return fallback;
        const json &v = value_.at(key);
        if (!v.is_number() || !std::isfinite(v.get<double>()))
            fail(std::string("\"") + key + "\" must be a finite number");
        return v.get<double>();
    }

    bool flag(const char *key, bool fallback) const
    {
        if (!has(key))
            return fallback;
        const json &v = value_.at(key);
        if (!v.is_boolean())
            fail(std::string("\"") + key + "\" must be true or false");
        return v.get<bool>();
    }

    const json &array(const char *key) const
    {
        const json &v = at(key);
        if (!v.is_array())
            fail(std::string("\"") + key + "\" must be an array");
        return v;
    }

    const std::string &path() const { return path_; }

private:
    const json &value_;
    std::string path_;
};

ControlKind parseKind(const Node &node)
{
    const std::string name = node.requiredText("kind");
    for (const KindRule &rule : kKindRules)
        if (name == rule.name)
            return rule.kind;
    node.fail("unknown kind \"" + name + "\"");
}

ValueType parseType(const Node &node, ControlKind kind)
{
    if ((kind == ControlKind::Button || kind == ControlKind::StripChart) && !node.has("type"))
        return ValueType::None;
    const std::string name = node.requiredText("type");
    for (const TypeRule &rule : kTypeRules) {
        if (name != rule.name)
            continue;
        const auto &allowed = kindRule(kind).types;
        if (std::find(allowed.begin(), allowed.end(), rule.type) == allowed.end())
            node.fail(std::string("a ") + controlKindName(kind) + " cannot hold type \"" + name + "\"");
        return rule.type;
    }
    node.fail("unknown type \"" + name + "\"");
}

void parseNumericRange(const Node &node, ControlRecord &c)
{
    const TypeRule &limits = typeRule(c.type);
    const bool integral = c.type != ValueType::Double;
    c.min = node.number("min", limits.lowest);
    c.max = node.number("max", limits.highest);
    c.step = node.number("step", 1.0);
    c.precision = node.integer("precision", integral ? 0 : 2);
    c.defaultNumber = node.number("default", std::clamp(0.0, c.min, c.max));

    auto whole = [](double v) { return std::floor(v) == v; };
    if (c.min < limits.lowest || c.max > limits.highest)
        node.fail(std::string("range exceeds type ") + limits.name);
    if (c.min > c.max)
        node.fail("\"min\" is above \"max\"");
    if (integral && !(whole(c.min) && whole(c.max) && whole(c.step) && whole(c.defaultNumber)))
        node.fail("an integer control needs whole numbers");
    if (!(c.step > 0.0))
        node.fail("\"step\" must be positive");
    if (c.precision < 0 || c.precision > 10 || (integral && c.precision != 0))
        node.fail("\"precision\" must be 0 to 10, and 0 for integer controls");
    if (c.defaultNumber < c.min || c.defaultNumber > c.max)
        node.fail("\"default\" is outside min..max");
}

void parseBinary(const Node &node, ControlRecord &c)
{
    c.min = 0.0;
    c.max = 1.0;
    c.defaultNumber = node.integer("default", 0);
    if (c.defaultNumber != 0.0 && c.defaultNumber != 1.0)
        node.fail("\"default\" of a switch or toggle must be 0 or 1");
    if (c.kind == ControlKind::Switch || c.kind == ControlKind::Lamp) {
        c.offText = node.requiredText("off_text");
        c.onText = node.requiredText("on_text");
    }
}

void parseItems(const Node &node, ControlRecord &c)
{
    for (const json &item : node.array("items")) {
        if (!item.is_string())
            node.fail("\"items\" must hold strings");
        c.items.push_back(item.get<std::string>());
    }
}

void parseText(const Node &node, ControlRecord &c)
{
    c.defaultText = node.text("default");
    if (node.has("items"))
        parseItems(node, c);
}

// A ring's range is its items' indices.
void parseRing(const Node &node, ControlRecord &c)
{
    parseItems(node, c);
    if (c.items.empty())
        node.fail("a ring needs \"items\"");
    c.min = 0.0;
    c.max = static_cast<double>(c.items.size() - 1);
    c.defaultNumber = node.integer("default", 0);
    if (c.defaultNumber < c.min || c.defaultNumber > c.max)
        node.fail("\"default\" of a ring must be an item's index");
}

ControlRecord parseControl(const Node &node, const std::string &panelName)
{
    ControlRecord c;
    c.kind = parseKind(node);
    node.allowOnly(kControlKeys, kindRule(c.kind).extraKeys);
    c.name = node.requiredText("name");
    if (!isIdentifier(c.name, true) || c.name.rfind(panelName + "_", 0) != 0 || c.name.size() <= panelName.size() + 1)
        node.fail("control name \"" + c.name + "\" must be " + panelName + "_ followed by upper-case words");
    c.id = node.requiredInteger("id");
    if (c.id <= 0)
        node.fail("\"id\" must be positive");
    c.type = parseType(node, c.kind);
    c.label = node.text("label");
    c.unit = node.text("unit");
    c.callback = node.text("callback");
    if (!c.callback.empty() && !isIdentifier(c.callback, false))
        node.fail("callback \"" + c.callback + "\" is not an identifier");
    c.dimmed = node.flag("dimmed", false);
    c.large = node.flag("large", false);

    if (c.kind == ControlKind::StripChart) {
        c.seconds = node.number("seconds", kDefaultChartSeconds);
        if (!(c.seconds > 0.0))
            node.fail("\"seconds\" of a strip chart must be positive");
    }
    if (c.kind == ControlKind::Ring)
        parseRing(node, c);
    else if (isNumericKind(c.kind))
        parseNumericRange(node, c);
    else if (isBinaryKind(c.kind))
        parseBinary(node, c);
    else if (c.type == ValueType::Text)
        parseText(node, c);
    else if (node.has("default"))
        node.fail("a button holds no value");
    return c;
}

GroupRecord parseGroup(const Node &node, const std::string &panelName)
{
    node.allowOnly(kGroupKeys);
    GroupRecord g;
    g.title = node.text("title");
    g.row = node.integer("row", 0);
    g.column = node.integer("column", 0);
    g.rowSpan = node.integer("row_span", 1);
    g.columnSpan = node.integer("column_span", 1);
    if (g.row < 0 || g.column < 0 || g.rowSpan < 1 || g.columnSpan < 1)
        node.fail("row and column must be 0 or more, spans 1 or more");
    const std::string layout = node.text("layout", "form");
    if (layout == "row")
        g.layout = GroupLayout::Row;
    else if (layout != "form")
        node.fail("\"layout\" must be \"form\" or \"row\"");
    const json &controls = node.array("controls");
    for (std::size_t i = 0; i < controls.size(); ++i)
        g.controls.push_back(parseControl(Node(controls[i], node.path() + ".controls[" + std::to_string(i) + "]"), panelName));
    return g;
}

PanelRecord parsePanel(const Node &node)
{
    node.allowOnly(kPanelKeys);
    PanelRecord p;
    p.name = node.requiredText("name");
    if (!isIdentifier(p.name, true))
        node.fail("panel name \"" + p.name + "\" must be upper-case words");
    p.number = node.requiredInteger("number");
    if (p.number <= 0)
        node.fail("\"number\" must be positive");
    p.title = node.text("title");
    p.callback = node.text("callback");
    if (!p.callback.empty() && !isIdentifier(p.callback, false))
        node.fail("callback \"" + p.callback + "\" is not an identifier");
    const json &groups = node.array("groups");
    for (std::size_t i = 0; i < groups.size(); ++i)
        p.groups.push_back(parseGroup(Node(groups[i], node.path() + ".groups[" + std::to_string(i) + "]"), p.name));

    std::set<int> ids;
    std::set<std::string> names;
    for (const ControlRecord *c : p.controls()) {
        if (!ids.insert(c->id).second)
            node.fail("control ID " + std::to_string(c->id) + " is used twice");
        if (!names.insert(c->name).second)
            node.fail("control name " + c->name + " is used twice");
    }
    return p;
}

PanelResource parseResource(const json &document)
{
    const Node root(document, "resource");
    root.allowOnly(kResourceKeys);
    if (root.requiredText("format") != kFormat)
        root.fail("\"format\" must be \"" + std::string(kFormat) + "\"");
    if (root.requiredInteger("version") != kVersion)
        root.fail("unsupported \"version\"");
    PanelResource resource;
    const json &panels = root.array("panels");
    std::set<int> numbers;
    std::set<std::string> names;
    for (std::size_t i = 0; i < panels.size(); ++i) {
        PanelRecord panel = parsePanel(Node(panels[i], "panels[" + std::to_string(i) + "]"));
        if (!numbers.insert(panel.number).second || !names.insert(panel.name).second)
            root.fail("panel " + panel.name + " repeats a panel number or name");
        resource.panels.push_back(std::move(panel));
    }
    return resource;
}

ResourceLoad failure(int status, std::string detail)
{
    ResourceLoad load;
    load.status = status;
    load.detail = std::move(detail);
    return load;
}

} // namespace

const ControlRecord *PanelRecord::control(int id) const
{
    for (const GroupRecord &g : groups)
        for (const ControlRecord &c : g.controls)
            if (c.id == id)
                return &c;
    return nullptr;
}

const ControlRecord *PanelRecord::control(std::string_view controlName) const
{
    for (const GroupRecord &g : groups)
        for (const ControlRecord &c : g.controls)
            if (c.name == controlName)
                return &c;
    return nullptr;
}

std::vector<const ControlRecord *> PanelRecord::controls() const
{
    std::vector<const ControlRecord *> all;
    for (const GroupRecord &g : groups)
        for (const ControlRecord &c : g.controls)
            all.push_back(&c);
    return all;
}

const PanelRecord *PanelResource::panel(int number) const
{
    for (const PanelRecord &p : panels)
        if (p.number == number)
            return &p;
    return nullptr;
}

const char *valueTypeName(ValueType type) { return typeRule(type).name; }
ValueLimits valueTypeLimits(ValueType type) { return {typeRule(type).lowest, typeRule(type).highest}; }
const char *controlKindName(ControlKind kind) { return kindRule(kind).name; }

bool isNumericKind(ControlKind kind)
{
    return kind == ControlKind::Numeric || kind == ControlKind::Indicator || kind == ControlKind::Ring;
}
bool isBinaryKind(ControlKind kind)
{
    return kind == ControlKind::Switch || kind == ControlKind::Toggle || kind == ControlKind::Lamp;
}

ResourceLoad parsePanelResource(std::string_view text)
{
    try {
        const json document = json::parse(text.begin(), text.end());
        ResourceLoad load;
        load.resource = std::make_shared<const PanelResource>(parseResource(document));
        return load;
    } catch (const std::bad_alloc &) {
        return failure(UIE_OUT_OF_MEMORY, "out of memory");
    } catch (const std::exception &e) {
        return failure(UIE_BAD_RESOURCE, e.what());
    } catch (...) {
        return failure(UIE_BAD_RESOURCE, "unreadable resource");
    }
}

ResourceLoad loadPanelResource(const char *path)
{
    if (path == nullptr)
        return failure(UIE_NULL_POINTER, "no resource path");
    try {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error))
            return failure(UIE_FILE_NOT_FOUND, std::string("no such file: ") + path);
        std::ifstream file(path, std::ios::binary);
        if (!file)
            return failure(UIE_FILE_NOT_FOUND, std::string("cannot open ") + path);
        std::ostringstream text;
        text << file.rdbuf();
        if (file.bad())
            return failure(UIE_FILE_NOT_FOUND, std::string("cannot read ") + path);
        ResourceLoad load = parsePanelResource(text.str());
        if (load.status != 0)
            load.detail = std::string(path) + ": " + load.detail;
        return load;
    } catch (const std::bad_alloc &) {
        return failure(UIE_OUT_OF_MEMORY, "out of memory");
    } catch (...) {
        return failure(UIE_FILE_NOT_FOUND, std::string("cannot read ") + path);
    }
}

} // namespace qx::ui
