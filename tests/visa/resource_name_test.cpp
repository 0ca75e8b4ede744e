// Resource names, the registry of in-process devices, COM port paths and what viOpen makes of them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "session_fixture.h"
#include "visa/resource_name.h"
#include "visa/serial_port.h"
#include "visa/visa.h"

using namespace qx::visa;
using qx::test::ScriptedDevice;
using test::SessionTest;

// The canonical form of each name that parses, "" for one that does not.
TEST(ResourceName, ParsesTheNamesTheSystemOpensInAnyCaseWithBoardDefaultsAndRefusesTheRest)
{
    const std::pair<const char *, const char *> cases[] = {
        {"gpib::5::instr", "GPIB0::5::INSTR"},       {"GPIB1::30", "GPIB1::30::INSTR"},
        {"GPIB0::05::INSTR", "GPIB0::5::INSTR"},     {"GPIB::5::2::INSTR", "GPIB0::5::2::INSTR"},
        {"asrl3::Instr", "ASRL3::INSTR"},            {"ASRL7", "ASRL7::INSTR"},
        {"ASRL", "ASRL0::INSTR"},                    {"asrl/dev/ttyUSB0::INSTR", "ASRL/dev/ttyUSB0::INSTR"},
        {"ASRL/dev/pts/MixedCase::INSTR", "ASRL/dev/pts/MixedCase::INSTR"}, // a path keeps its case
        {"TCPIP::LocalHost::5025::SOCKET", "TCPIP0::localhost::5025::SOCKET"},
        {"tcpip2::192.168.0.9::5025::socket", "TCPIP2::192.168.0.9::5025::SOCKET"},
        {"TCPIP::[::1]::5025::SOCKET", "TCPIP0::[::1]::5025::SOCKET"},
        {"TCPIP::10.0.0.7::INSTR", "TCPIP0::10.0.0.7::inst0::INSTR"}, {"tcpip1::Bench", "TCPIP1::bench::inst0::INSTR"},
        {"TCPIP::host::GPIB0,5::INSTR", "TCPIP0::host::gpib0,5::INSTR"},
        {"TCPIP::host::gpib0,5,30", "TCPIP0::host::gpib0,5,30::INSTR"},
        {"TCPIP::[::1]::inst3::INSTR", "TCPIP0::[::1]::inst3::INSTR"},
        {"TCPIP::host::gpib0,31::INSTR", ""}, {"TCPIP::host::gpib0::INSTR", ""}, {"TCPIP::host::gpib0,5,x", ""},
        {"TCPIP::host::hislip0::INSTR", ""}, {"TCPIP::host::in st0::INSTR", ""},
        {"TCPIP::host::inst0::INSTR::X", ""}, {"TCPIP::host::inst0::SOCKET", ""},
        {"", ""}, {"GPIB", ""}, {"GPIB::", ""}, {"GPIB::31::INSTR", ""}, {"GPIB::5::31::INSTR", ""},
        {"GPIB::5::2::3::INSTR", ""}, {"GPIBX::5", ""}, {"GPIB::5::INTFC", ""}, {"GPIB0::INTFC", ""},
        {"ASRL1::SOCKET", ""}, {"ASRL1::INSTR::X", ""}, {"ASRLX::INSTR", ""}, {"ASRL/::INSTR", ""},
        {"ASRL/STgp2:", ""}, {"COM1", ""}, {"TCPIP::host::0::SOCKET", ""},
        {"TCPIP::host::65536::SOCKET", ""}, {"TCPIP::[::1::5025::SOCKET", ""}, {" GPIB::5::INSTR", ""},
    };
    for (const auto &[text, canonical] : cases) {
        ResourceName name;
        EXPECT_EQ(parseResourceName(text, name), *canonical ? VI_SUCCESS : VI_ERROR_INV_RSRC_NAME) << text;
        EXPECT_EQ(*canonical ? name.canonical() : "", canonical) << text;
        EXPECT_EQ(canonicalResourceName(text), canonical) << text;
    }
    ResourceName name;
    EXPECT_EQ(parseResourceName(static_cast<const char *>(nullptr), name), VI_ERROR_INV_RSRC_NAME);
}

TEST_F(SessionTest, TheRegistryFindsDevicesByAnySpellingViOpenLooksThereThenAtTheComPortPath)
{
    // The registry finds a device under any spelling of its name until replaced or detached.
    const auto found = std::make_shared<ScriptedDevice>(), replacement = std::make_shared<ScriptedDevice>();
    ASSERT_TRUE(attachDevice("gpib::9::instr", found));
    EXPECT_EQ(findDevice("GPIB::9"), found);
    EXPECT_EQ(findDevice("GPIB1::9::INSTR"), nullptr);
    ASSERT_TRUE(attachDevice("GPIB0::9::INSTR", replacement));
    EXPECT_EQ(findDevice("GPIB::9::INSTR"), replacement);
    detachDevice("GPIB::9::INSTR");
    EXPECT_EQ(findDevice("GPIB0::9::INSTR"), nullptr);
    EXPECT_FALSE(attachDevice("GPIB::99::INSTR", found) || attachDevice("ASRL1::INSTR", nullptr));
    EXPECT_EQ(findDevice("not a name"), nullptr);

    ::unsetenv("QX_COM4");
    EXPECT_EQ(comPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(comPortPath(4), "/dev/ttyS3");
    EXPECT_EQ(comPortPath(0), "");
    ::setenv("QX_COM4", "", 1); // an empty path names none
    EXPECT_EQ(comPortPath(4), "/dev/ttyS3");
    ::setenv("QX_COM9", "/nonexistent/serial/port", 1);
    EXPECT_EQ(comPortPath(9), "/nonexistent/serial/port");

    ViSession other = 77;
    EXPECT_EQ(viOpen(rm, "GPIB::99::INSTR", VI_NULL, 5000, &other), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(other, VI_NULL);
    EXPECT_EQ(viOpen(rm, nullptr, VI_NULL, 5000, &other), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(viOpen(rm, "ASRL9::INSTR", VI_NULL, 5000, &other), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viOpen(rm, "ASRL/dev/null::INSTR", VI_NULL, 5000, &other), VI_ERROR_RSRC_NFOUND); // not a tty

    open("asrl9::instr", false); // attached in-process, found before the missing port
    EXPECT_EQ(test::textAttribute(io, VI_ATTR_RSRC_NAME), "ASRL9::INSTR");
    EXPECT_EQ(viPrintf(io, "*CLS\n"), VI_SUCCESS);
    EXPECT_EQ(device->writes(), (std::vector<ScriptedDevice::Write>{{"*CLS\n", false}}));
    EXPECT_EQ(viOpen(rm, "ASRL9::INSTR", 0x100, 5000, &other), VI_ERROR_INV_ACC_MODE);
    EXPECT_EQ(viOpen(rm + 1000, "ASRL9::INSTR", VI_NULL, 5000, &other), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viOpen(rm, "ASRL9::INSTR", VI_NULL, 5000, nullptr), VI_ERROR_INV_PARAMETER);
    ::unsetenv("QX_COM4");
    ::unsetenv("QX_COM9");
}
