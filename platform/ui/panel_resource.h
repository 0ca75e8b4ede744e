// The panel resource: panels, groups and typed control records read from a JSON text file
// (a .UIR file). The records are plain data; each backend builds its controls from them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qx::ui {

// What a control holds. Buttons hold nothing.
enum class ValueType { None, Int, Int16, Double, Text };

enum class ControlKind {
    Numeric,       // editable number (spin box)
    Indicator,     // number shown, not editable
    Text,          // editable text, optionally offering items
    Ring,          // one of named items; the value is the item's index
    TextBox,       // lines of text shown, not editable, scrolled
    StripChart,    // named traces of points over time, the latest span of seconds shown; no value
    TextIndicator, // text shown, not editable
    Switch,        // two-state switch, value 0/1, with a text for each state
    Lamp,          // two-state light, value 0/1, its state's text on a colour that stands out when on
    Toggle,        // push button that stays in, value 0/1
    Button,        // command button, no value
};

enum class GroupLayout { Form, Row };

struct ControlRecord {
    std::string name; // constant name, panel name + "_" + control name
    int id = 0;
    ControlKind kind = ControlKind::Numeric;
    ValueType type = ValueType::None;
    std::string label; // '&' marks the mnemonic
    std::string unit;
    std::string callback; // empty: none
    double min = 0.0;
    double max = 0.0;
    double step = 1.0;
    int precision = 0; // decimals shown by double controls
    double defaultNumber = 0.0;
    std::string defaultText;
    std::vector<std::string> items; // offered texts of a text control, the choices of a ring
    std::string offText;            // switch and lamp state texts
    std::string onText;
    bool dimmed = false;
    bool large = false;   // an indicator read from across the bench: shown in large type
    double seconds = 0.0; // a strip chart's span of time
};

struct GroupRecord {
    std::string title; // empty: no frame
    int row = 0;
    int column = 0;
    int rowSpan = 1;
    int columnSpan = 1;
    GroupLayout layout = GroupLayout::Form;
    std::vector<ControlRecord> controls;
};

struct PanelRecord {
    std::string name; // constant name of the panel, e.g. "STEADY"
    int number = 0;   // resource number
    std::string title;
    std::string callback; // panel callback name, empty: none
    std::vector<GroupRecord> groups;

    const ControlRecord *control(int id) const;
    const ControlRecord *control(std::string_view name) const;
    std::vector<const ControlRecord *> controls() const; // in resource (and tab) order
};

struct PanelResource {
    std::vector<PanelRecord> panels;
    const PanelRecord *panel(int number) const;
};

struct ResourceLoad {
    int status = 0;     // 0, UIE_FILE_NOT_FOUND or UIE_BAD_RESOURCE
    std::string detail; // what is wrong, for the developer
    std::shared_ptr<const PanelResource> resource;
};

// Reads and checks a resource file. Never throws.
ResourceLoad loadPanelResource(const char *path);
ResourceLoad parsePanelResource(std::string_view text);

const char *valueTypeName(ValueType type);
// The numbers a value type can hold (0..0 for text and none).
struct ValueLimits {
    double lowest;
    double highest;
};
ValueLimits valueTypeLimits(ValueType type);
const char *controlKindName(ControlKind kind);

// Types an operator can switch between 0 and 1, and types holding numbers.
bool isNumericKind(ControlKind kind);
bool isBinaryKind(ControlKind kind);

} // namespace qx::ui
