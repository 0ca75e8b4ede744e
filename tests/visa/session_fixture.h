// A session on a scripted in-process instrument, under a virtual clock whose timeline records
// every time-out.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runtime/clock.h"
#include "scripted_device.h"
#include "visa/visa.h"

namespace qx::visa::test {

class SessionTest : public ::testing::Test {
protected:
    // Opens `resource` on a fresh scripted device; the 4000-byte buffers and flush-on-access of
    // the instrument driver when `driverSetup`.
    void open(const std::string &resource, bool driverSetup = true)
    {
        name_ = resource;
        device = std::make_shared<ScriptedDevice>();
        ASSERT_TRUE(attachDevice(resource, device));
        ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
        ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NULL, 5000, &io), VI_SUCCESS);
        if (driverSetup) {
            ASSERT_EQ(viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
            ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
            ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
        }
    }
    void TearDown() override
    {
        if (rm != VI_NULL)
            viClose(rm);
        if (!name_.empty())
            detachDevice(name_);
    }

    runtime::Timeline timeline;
    runtime::VirtualClock clock{&timeline};
    runtime::ScopedClock clockGuard{clock};
    std::shared_ptr<ScriptedDevice> device;
    ViSession rm = VI_NULL;
    ViSession io = VI_NULL;

private:
    std::string name_;
};

} // namespace qx::visa::test
