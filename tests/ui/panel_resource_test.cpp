// The panel resource QXSERIES.UIR against the front panel's control tables, the generated
// constants header against the resource, and the loader against broken resources.
#include "ui/panel_resource.h"
#include "ui/toolkit.h"

#include "qxseries_panels.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include <unistd.h>

using namespace qx::ui;

namespace {

constexpr int kFreeId = -1; // IDs the resource may choose

struct Expected {
    const char *name;
    int headerValue; // the generated constant
    int id;          // the fixed ID, or kFreeId
    ValueType type;
    const char *callback; // "" for none
};

// The control tables of both panels, with the generated constants beside them.
const Expected kMain[] = {
    {"MAIN_MODEL", MAIN_MODEL, 4, ValueType::Text, ""},
    {"MAIN_COMPORT", MAIN_COMPORT, 5, ValueType::Int, ""},
    {"MAIN_ADDRESS", MAIN_ADDRESS, 6, ValueType::Int, ""},
    {"MAIN_GPIB", MAIN_GPIB, 8, ValueType::Int, "interfaceGPIB"},
    {"MAIN_RS232", MAIN_RS232, 9, ValueType::Int, "interfaceRS232"},
    {"MAIN_STATUS", MAIN_STATUS, 13, ValueType::Text, ""},
    {"MAIN_QUIT", MAIN_QUIT, kFreeId, ValueType::None, "quit"},
};

const Expected kSteady[] = {
    {"STEADY_MEAS_POWER", STEADY_MEAS_POWER, 9, ValueType::Double, ""},
    {"STEADY_MEAS_CURRENT", STEADY_MEAS_CURRENT, 10, ValueType::Double, ""},
    {"STEADY_MEAS_VOLTAGE", STEADY_MEAS_VOLTAGE, 11, ValueType::Double, ""},
    {"STEADY_FREQUENCY", STEADY_FREQUENCY, 12, ValueType::Double, "frequency"},
    {"STEADY_CURRENT", STEADY_CURRENT, 13, ValueType::Double, "current"},
    {"STEADY_VOLTAGE", STEADY_VOLTAGE, 14, ValueType::Double, "voltage"},
    {"STEADY_REMOTE", STEADY_REMOTE, 15, ValueType::Int, "remote_on_off"},
    {"STEADY_REGISTER", STEADY_REGISTER, 16, ValueType::Int, ""},
    {"STEADY_OUTPUT", STEADY_OUTPUT, 17, ValueType::Int, "output_on_off"},
    {"STEADY_RANGE", STEADY_RANGE, 18, ValueType::Int, "range"},
    {"STEADY_DISPLAY", STEADY_DISPLAY, 19, ValueType::Int, "display_on_off"},
    {"STEADY_SAVE_RECALL", STEADY_SAVE_RECALL, 20, ValueType::Int, ""},
    {"STEADY_DROP_PHASE", STEADY_DROP_PHASE, 21, ValueType::Int16, ""},
    {"STEADY_MEAS_PHASE", STEADY_MEAS_PHASE, 22, ValueType::Int16, ""},
    {"STEADY_DROPTIME", STEADY_DROPTIME, 23, ValueType::Double, ""},
    {"STEADY_TIMED_DROP", STEADY_TIMED_DROP, 24, ValueType::Int16, ""},
    {"STEADY_ANGLE_270", STEADY_ANGLE_270, 25, ValueType::Int, "Angle4"},
    {"STEADY_ANGLE_180", STEADY_ANGLE_180, 26, ValueType::Int, "Angle3"},
    {"STEADY_ANGLE_90", STEADY_ANGLE_90, 27, ValueType::Int, "Angle2"},
    {"STEADY_START", STEADY_START, 28, ValueType::Int, "Start"},
    {"STEADY_ANGLE_0", STEADY_ANGLE_0, 29, ValueType::Int, "Angle1"},
    {"STEADY_MEASURE", STEADY_MEASURE, 30, ValueType::Int, "measure"},
    {"STEADY_DROP", STEADY_DROP, 31, ValueType::Int, "OutputDrop"},
    {"STEADY_STATUS", STEADY_STATUS, 36, ValueType::Text, ""},
    {"STEADY_CONNECTION", STEADY_CONNECTION, 38, ValueType::Text, ""},
    {"STEADY_REGISTER_GO", STEADY_REGISTER_GO, kFreeId, ValueType::None, "register_control"},
    {"STEADY_CLOSE", STEADY_CLOSE, kFreeId, ValueType::None, "close"},
};

std::shared_ptr<const PanelResource> shippedResource()
{
    const ResourceLoad load = loadPanelResource(QX_UI_SOURCE_RESOURCE);
    EXPECT_EQ(load.status, 0) << load.detail;
    return load.resource;
}

template <std::size_t N> void expectPanel(const PanelRecord &panel, const Expected (&table)[N])
{
    EXPECT_EQ(panel.controls().size(), N) << panel.name << " has controls beyond its table";
    for (const Expected &e : table) {
        SCOPED_TRACE(e.name);
        const ControlRecord *c = panel.control(std::string_view(e.name));
        ASSERT_NE(c, nullptr);
        if (e.id != kFreeId) {
            EXPECT_EQ(c->id, e.id);
        }
        EXPECT_EQ(e.headerValue, c->id) << "qxseries_panels.h disagrees with the resource";
        EXPECT_EQ(c->type, e.type);
        EXPECT_EQ(c->callback, e.callback);
    }
}

char mnemonic(const std::string &label)
{
    const auto at = label.find('&');
    return at == std::string::npos || at + 1 >= label.size()
               ? '\0'
               : static_cast<char>(std::tolower(static_cast<unsigned char>(label[at + 1])));
}

} // namespace

TEST(PanelResource, DeclaresBothPanelsWithTheFixedTablesAndTheOperatorsUnitsRangesAndDefaults)
{
    const auto resource = shippedResource();
    ASSERT_TRUE(resource);
    ASSERT_EQ(resource->panels.size(), 2u);
    const PanelRecord *main = resource->panel(2);
    const PanelRecord *steady = resource->panel(1);
    ASSERT_NE(main, nullptr);
    ASSERT_NE(steady, nullptr);
    EXPECT_EQ(main->name, "MAIN");
    EXPECT_EQ(steady->name, "STEADY");
    EXPECT_EQ(MAIN, 2);
    EXPECT_EQ(STEADY, 1);
    EXPECT_EQ(main->callback, "");
    EXPECT_EQ(steady->callback, "steady_panel");
    expectPanel(*main, kMain);
    expectPanel(*steady, kSteady);

    // What the operator gets beyond the fixed tables: units, ranges, defaults, model texts.
    EXPECT_EQ(main->control(MAIN_MODEL)->kind, ControlKind::Text); // editable
    EXPECT_EQ(main->control(MAIN_MODEL)->items, (std::vector<std::string>{"7101QX", "7103QX"}));
    EXPECT_EQ(main->control(MAIN_ADDRESS)->max, 30.0); // GPIB primary addresses 0..30
    EXPECT_EQ(main->control(MAIN_STATUS)->defaultText, "Choose the address or com port before selecting GPIB or RS-232");
    for (const auto &[id, unit] : {std::pair{STEADY_VOLTAGE, "V"}, {STEADY_FREQUENCY, "Hz"}, {STEADY_CURRENT, "A"},
                                   {STEADY_MEAS_VOLTAGE, "V"}, {STEADY_MEAS_CURRENT, "A"}, {STEADY_DROPTIME, "s"}})
        EXPECT_EQ(steady->control(id)->unit, unit) << steady->control(id)->name;
    for (int id : {STEADY_MEAS_PHASE, STEADY_DROP_PHASE}) // 0: all phases coupled
        EXPECT_EQ(std::make_pair(steady->control(id)->min, steady->control(id)->max), std::make_pair(0.0, 3.0));
    EXPECT_GT(steady->control(STEADY_DROPTIME)->max, 0.0);
    EXPECT_GT(steady->control(STEADY_DROPTIME)->defaultNumber, 0.0);
    // The angle buttons start as the start-angle switch does: off, so dimmed.
    EXPECT_EQ(steady->control(STEADY_START)->defaultNumber, 0.0);
    for (int id : {STEADY_ANGLE_0, STEADY_ANGLE_90, STEADY_ANGLE_180, STEADY_ANGLE_270})
        EXPECT_TRUE(steady->control(id)->dimmed);
}

TEST(PanelResource, MnemonicsAreUniqueWithinEachPanel)
{
    const auto resource = shippedResource();
    ASSERT_TRUE(resource);
    for (const PanelRecord &panel : resource->panels) {
        std::map<char, std::string> used;
        for (const ControlRecord *c : panel.controls()) {
            const char key = mnemonic(c->label);
            if (key == '\0')
                continue;
            const auto [where, fresh] = used.emplace(key, c->name);
            EXPECT_TRUE(fresh) << panel.name << ": '" << key << "' of " << c->name << " is taken by " << where->second;
        }
        EXPECT_GE(used.size(), 5u) << panel.name << " is hardly keyboard-usable";
    }
}

TEST(PanelResource, RefusesBrokenResourcesAndSaysWhere)
{
    const std::string head = R"({"format":"qx-panel-resource","version":1,"panels":[{"name":"P","number":1,"groups":[{"controls":[)";
    const std::string tail = "]}]}]}";
    const struct {
        std::string text;
        const char *complaint;
    } cases[] = {
        {"{not json", "parse error"},
        {R"({"format":"other","version":1,"panels":[]})", "format"},
        {R"({"format":"qx-panel-resource","version":2,"panels":[]})", "version"},
        {head + R"({"name":"P_A","id":1,"kind":"numeric","type":"int","colour":"red"})" + tail, "unknown key \"colour\""},
        {head + R"({"name":"P_A","kind":"numeric","type":"int"})" + tail, "missing \"id\""},
        {head + R"({"name":"P_A","id":0,"kind":"numeric","type":"int"})" + tail, "positive"},
        {head + R"({"name":"Q_A","id":1,"kind":"numeric","type":"int"})" + tail, "P_"},
        {head + R"({"name":"P_A","id":1,"kind":"dial","type":"int"})" + tail, "unknown kind"},
        {head + R"({"name":"P_A","id":1,"kind":"switch","type":"double","off_text":"0","on_text":"1"})" + tail,
         "cannot hold type"},
        {head + R"({"name":"P_A","id":1,"kind":"switch","type":"int","off_text":"Off"})" + tail, "on_text"},
        {head + R"({"name":"P_A","id":1,"kind":"numeric","type":"int","min":5,"max":1})" + tail, "above"},
        {head + R"({"name":"P_A","id":1,"kind":"numeric","type":"int","max":9,"default":10})" + tail, "outside"},
        {head + R"({"name":"P_A","id":1,"kind":"numeric","type":"int","max":9.5})" + tail, "whole numbers"},
        {head + R"({"name":"P_A","id":1,"kind":"numeric","type":"int16","max":40000})" + tail, "exceeds"},
        {head + R"({"name":"P_A","id":1,"kind":"button","default":1})" + tail, "no value"},
        {head + R"({"name":"P_A","id":1,"kind":"button","callback":"two words"})" + tail, "identifier"},
        {head + R"({"name":"P_A","id":1,"kind":"button"},{"name":"P_B","id":1,"kind":"button"})" + tail,
         "ID 1 is used twice"},
        {R"({"format":"qx-panel-resource","version":1,"panels":[{"name":"P","number":1,"groups":[]},)"
         R"({"name":"R","number":1,"groups":[]}]})",
         "repeats"},
    };
    for (const auto &c : cases) {
        const ResourceLoad load = parsePanelResource(c.text);
        EXPECT_EQ(load.status, UIE_BAD_RESOURCE) << c.text;
        EXPECT_NE(load.detail.find(c.complaint), std::string::npos) << load.detail;
        EXPECT_FALSE(load.resource);
    }
    // The place is named, down to the control.
    EXPECT_NE(parsePanelResource(cases[3].text).detail.find("panels[0].groups[0].controls[0]"), std::string::npos);
}

TEST(PanelResource, ReportsMissingUnreadableAndTruncatedFiles)
{
    const auto dir = std::filesystem::temp_directory_path() / ("qx_ui_resource_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    EXPECT_EQ(loadPanelResource((dir / "absent.UIR").c_str()).status, UIE_FILE_NOT_FOUND);
    EXPECT_EQ(loadPanelResource(dir.c_str()).status, UIE_FILE_NOT_FOUND);
    EXPECT_EQ(loadPanelResource(nullptr).status, UIE_NULL_POINTER);

    std::ifstream shipped(QX_UI_SOURCE_RESOURCE);
    const std::string text((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
    const auto truncated = dir / "truncated.UIR";
    std::ofstream(truncated) << text.substr(0, text.size() / 2);
    const ResourceLoad load = loadPanelResource(truncated.c_str());
    EXPECT_EQ(load.status, UIE_BAD_RESOURCE);
    EXPECT_NE(load.detail.find("truncated.UIR"), std::string::npos) << load.detail;
    std::filesystem::remove_all(dir);
}
