#include "ivi_test_support.h"

#include "visa/device.h"
#include "visa/visa.h"

#include <memory>

using namespace ivitest;

namespace {

constexpr const char *resource = "GPIB0::9::INSTR";

// Records what it is sent and answers with a fixed message.
class AnsweringDevice : public qx::visa::Device {
public:
    bool write(std::string_view bytes, bool) override
    {
        received += bytes;
        return true;
    }
    qx::visa::DeviceRead read(std::size_t max) override
    {
        qx::visa::DeviceRead result{qx::visa::DeviceRead::Status::Data, answer.substr(0, max), false};
        answer.erase(0, result.bytes.size());
        result.end = answer.empty();
        return result;
    }
    std::string received, answer;
};

class IviInstrIo : public IviTest {
protected:
    void TearDown() override
    {
        qx::visa::detachDevice(resource);
        IviTest::TearDown();
    }
    // A session whose I/O session is open on the device.
    ViSession connected(ViSession &io)
    {
        EXPECT_TRUE(qx::visa::attachDevice(resource, device));
        const ViSession vi = open("");
        ViSession rm = VI_NULL;
        EXPECT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_VISA_RM_SESSION, 0, &rm), VI_SUCCESS);
        EXPECT_EQ(viOpen(rm, resource, VI_NULL, 5000, &io), VI_SUCCESS);
        EXPECT_EQ(Ivi_SetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, 0, io), VI_SUCCESS);
        return vi;
    }
    std::shared_ptr<AnsweringDevice> device = std::make_shared<AnsweringDevice>();
};

TEST_F(IviInstrIo, PassesBytesThroughTheIoSession)
{
    ViSession io = VI_NULL;
    const ViSession vi = connected(io);
    device->answer = "ZE,7101QX,0,1.0\n";
    EXPECT_EQ(Ivi_WriteInstrData(vi, "*IDN?"), VI_SUCCESS);
    EXPECT_EQ(device->received, "*IDN?");
    ViChar buffer[64];
    ViInt32 count = -1;
    EXPECT_EQ(Ivi_ReadInstrData(vi, 5, buffer, &count), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)), "ZE,71");
    EXPECT_EQ(Ivi_ReadInstrData(vi, 64, buffer, &count), VI_SUCCESS);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)), "01QX,0,1.0\n");
}

TEST_F(IviInstrIo, DisposeClosesTheSessionsOpenedThroughItsResourceManager)
{
    ViSession io = VI_NULL;
    const ViSession vi = connected(io);
    ASSERT_EQ(Ivi_Dispose(vi), VI_SUCCESS);
    ViUInt32 written = 0;
    EXPECT_EQ(viWrite(io, reinterpret_cast<ViConstBuf>("*CLS"), 4, &written), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(device->received, "");
}

TEST_F(IviInstrIo, SimulationSendsAndReadsNothingAndBadArgumentsAreRefused)
{
    const ViSession vi = open("Simulate=1");
    EXPECT_EQ(Ivi_WriteInstrData(vi, "*RST"), VI_SUCCESS);
    ViChar buffer[8] = "keep";
    ViInt32 count = -1;
    EXPECT_EQ(Ivi_ReadInstrData(vi, 8, buffer, &count), VI_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(Ivi_WriteInstrData(vi, nullptr), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_ReadInstrData(vi, 8, nullptr, &count), IVI_ERROR_NULL_POINTER);
    EXPECT_EQ(Ivi_ReadInstrData(vi, -1, buffer, &count), IVI_ERROR_INVALID_VALUE);
}

} // namespace
