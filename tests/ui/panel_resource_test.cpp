// The shipped panel resource QXSERIES.UIR: what any sound front panel needs of it, and the
// loader against broken resources.
#include "ui/panel_resource.h"
#include "rs232/rs232.h"
#include "ui/toolkit.h"
#include "zev_qx70.h"

#include "qxseries_panels.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <unistd.h>

using namespace qx::ui;

namespace {

class ShippedResource : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(resource) << load.detail; }
    const ResourceLoad load = loadPanelResource(QX_UI_SOURCE_RESOURCE);
    const std::shared_ptr<const qx::ui::PanelResource> resource = load.resource;
};

} // namespace

// (Every name bound is one the program registers, or its panels would not load in its tests.)
TEST_F(ShippedResource, CallbacksAreBoundOnceToReachableControlsMnemonicsAreUniqueRangesFitTheLimits)
{
    std::set<std::string> bound;
    for (const PanelRecord &panel : resource->panels) {
        if (!panel.callback.empty())
            bound.insert(panel.callback);
        std::map<char, std::string> mnemonics;
        std::size_t operable = 0;
        for (const ControlRecord *c : panel.controls()) {
            const bool shownOnly = c->kind == ControlKind::Indicator || c->kind == ControlKind::TextIndicator ||
                                   c->kind == ControlKind::Lamp;
            operable += shownOnly ? 0 : 1;
            if (!c->callback.empty()) {
                EXPECT_FALSE(shownOnly) << c->name << ": the operator cannot reach its callback";
                EXPECT_TRUE(bound.insert(c->callback).second) << c->callback << " is bound twice";
            }
            const auto at = c->label.find('&'); // the mnemonic is the letter after it
            if (at != std::string::npos && at + 1 < c->label.size()) {
                const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(c->label[at + 1])));
                const auto [where, fresh] = mnemonics.emplace(key, c->name);
                EXPECT_TRUE(fresh) << panel.name << ": '" << key << "' of " << c->name << " is taken by "
                                   << where->second;
            }
            if (c->kind == ControlKind::Numeric) {
                EXPECT_LT(c->min, c->max) << c->name;
                EXPECT_GE(c->defaultNumber, c->min) << c->name;
                EXPECT_LE(c->defaultNumber, c->max) << c->name;
                EXPECT_TRUE(c->type != ValueType::Double || !c->unit.empty()) << c->name << " has no unit";
            }
        }
        EXPECT_GE(mnemonics.size(), std::min<std::size_t>(operable, 5)) << panel.name << " is hardly keyboard-usable";
    }

    // The ranges agree with the driver's and the serial library's limits.
    const auto range = [&](int panel, int id) {
        const ControlRecord *c = resource->panel(panel)->control(id);
        return std::make_pair(c->min, c->max);
    };
    EXPECT_EQ(range(MAIN, MAIN_ADDRESS), std::make_pair(0.0, 30.0)); // GPIB primary addresses
    EXPECT_EQ(range(MAIN, MAIN_COMPORT), std::make_pair(1.0, double(qx::rs232::kMaxComPort)));
    for (int id : {STEADY_MEAS_PHASE, STEADY_DROP_PHASE}) // all phases coupled, or one of them
        EXPECT_EQ(range(STEADY, id), std::make_pair(double(ZEV_QX70_VAL_PHASE_ALL), double(ZEV_QX70_VAL_PHASE_MAX)));
    // The angle buttons start as the start-angle switch does: off, so dimmed.
    EXPECT_EQ(resource->panel(STEADY)->control(STEADY_START)->defaultNumber, 0.0);
    for (int id : {STEADY_ANGLE_0, STEADY_ANGLE_90, STEADY_ANGLE_180, STEADY_ANGLE_270})
        EXPECT_TRUE(resource->panel(STEADY)->control(id)->dimmed);
}

TEST(PanelResource, RefusesBrokenResourcesAndSaysWhereReportsMissingUnreadableAndTruncatedFiles)
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
        {head + R"({"name":"P_A","id":1,"kind":"ring","type":"int","items":[]})" + tail, "needs \"items\""},
        {head + R"({"name":"P_A","id":1,"kind":"ring","type":"int","items":["a","b"],"default":2})" + tail,
         "an item's index"},
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
