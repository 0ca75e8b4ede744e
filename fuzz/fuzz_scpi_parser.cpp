// The simulator takes whatever arrives on its line: any bytes, cut into program messages at each
// line feed (and, on GPIB, at END). Each input goes to a fresh simulator over both links, and every
// answer is read out, so the parser, the command table and the model all see it. The simulator
// drops a message that throws (as an overloaded instrument would), which would hide a fault here:
// the messages also go straight to the parser, where an exception ends the run.
#include "runtime/clock.h"
#include "sim/scpi_parser.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

using qx::sim::SimDevice;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static qx::runtime::VirtualClock clock; // slow answers and the transcript cost no real time
    static qx::runtime::ScopedClock clockGuard(clock);
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    qx::sim::Instrument instrument{qx::sim::Config{}};
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t nl = std::min(input.find('\n', start), input.size());
        qx::sim::executeMessage(input.substr(start, nl - start), instrument, clock.now());
        start = nl + 1;
    }
    for (SimDevice::Link link : {SimDevice::Link::Stream, SimDevice::Link::Gpib}) {
        SimDevice device(std::make_shared<qx::sim::Simulator>(), link);
        device.write(input, true);
        while (device.read(4096).status == qx::visa::DeviceRead::Status::Data) { // every answer read out
        }
    }
    return 0;
}
