// A simulated QX source as the transports see it: complete messages in, bytes out. Thread-safe:
// a transport may feed it on one thread while a test inspects it on another. Times come from the
// injected clock (qx::runtime::currentClock()); install a virtual clock before creating the
// simulator, since the transcript counts seconds from its creation.
#pragma once

#include "config.h"
#include "faults.h"
#include "instrument.h"
#include "transcript.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qx::sim {

// What the instrument sends back for one message.
struct Delivery {
    std::string bytes;  // answer with its '\n'; empty when there is nothing to say
    double delay = 0.0; // seconds before the bytes go out (slow fault)
    bool close = false; // the line closes once the bytes are out
};

// A copy of the instrument's state for assertions.
struct Snapshot {
    Settings settings;
    bool remote = false;
    std::string identification;
    int powerOnRegister = 0;
    std::array<Settings, Instrument::kRegisterCount> registers{};
    std::vector<ErrorEntry> errors; // oldest first, not consumed
    std::vector<DropRecord> drops;  // oldest first
    std::uint8_t statusByte = 0;
    std::uint8_t eventStatus = 0;
};

class Simulator {
public:
    // An invalid configuration (see validateConfig) is replaced by the defaults.
    explicit Simulator(const Config &config = {});

    // One complete program message, with or without its terminator ('\n', "\r\n").
    Delivery receive(std::string_view message);

    // False, changing nothing, when validateFaults rejects them. Restarts the message counts of
    // armAfter and closeAfter.
    bool setFaults(const Faults &faults);
    Faults faults() const;
    bool setLoad(int phase, const Load &load); // phase 1..3, 0 for all
    void powerCycle();
    void raise(int code); // queue an instrument error, e.g. from a transport

    Config config() const;
    Snapshot snapshot() const;
    // phase 1..3: that phase; 0: what MEAS queries read now.
    PhaseMeasurement measurement(int phase) const;
    std::size_t messagesReceived() const;
    std::vector<std::string> transcript() const;
    bool openTranscript(const std::string &path);

    // Read access to the whole model under the simulator's lock.
    template <typename Fn> auto inspect(Fn &&fn) const
    {
        std::lock_guard lock(mutex_);
        return fn(static_cast<const Instrument &>(instrument_));
    }

private:
    Delivery handle(std::string_view message);
    bool answerFaultsArmed() const { return sinceFaults_ > faults_.armAfter; }

    mutable std::mutex mutex_;
    Instrument instrument_;
    Transcript transcript_;
    Faults faults_;
    const CommandRecord *errorAfter_ = nullptr;
    std::size_t received_ = 0;
    std::size_t sinceFaults_ = 0;
};

} // namespace qx::sim
