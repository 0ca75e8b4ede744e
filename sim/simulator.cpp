#include "simulator.h"

#include "runtime/clock.h"
#include "scpi_parser.h"


namespace qx::sim {
namespace {

double clockNow() { return qx::runtime::currentClock().now(); }

Config usable(const Config &config) { return validateConfig(config).empty() ? config : Config{}; }

std::string_view withoutTerminator(std::string_view message)
{
    if (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);
    if (!message.empty() && message.back() == '\r')
        message.remove_suffix(1);
    return message;
}

} // namespace

Simulator::Simulator(const Config &config) : instrument_(usable(config)), transcript_(clockNow()) {}

Delivery Simulator::receive(std::string_view message)
{
    try {
        return handle(message);
    } catch (...) { // out of memory: the message is lost, as on an overloaded instrument
        return {};
    }
}

Delivery Simulator::handle(std::string_view message)
{
    std::lock_guard lock(mutex_);
    const double now = clockNow();
    ++received_;
    ++sinceFaults_;
    transcript_.received(now, message);

    MessageResult result = executeMessage(withoutTerminator(message), instrument_, now);
    if (errorAfter_) {
        for (const CommandRecord *record : result.executed)
            if (record == errorAfter_)
                instrument_.raise(faults_.errorAfter->code, faults_.errorAfter->text.empty()
                                                                ? std::string(errorText(faults_.errorAfter->code))
                                                                : faults_.errorAfter->text);
    }

    Delivery delivery;
    if (!result.response.empty()) {
        delivery.bytes = result.response + "\n";
        if (answerFaultsArmed()) {
            delivery.bytes = applyAnswerFaults(faults_, std::move(delivery.bytes));
            if (!delivery.bytes.empty())
                delivery.delay = faults_.slowSeconds;
        }
        if (!delivery.bytes.empty())
            transcript_.answered(now + delivery.delay, delivery.bytes);
    }
    delivery.close = faults_.closeAfter && sinceFaults_ == *faults_.closeAfter;
    return delivery;
}

bool Simulator::setFaults(const Faults &faults)
{
    if (!validateFaults(faults).empty())
        return false;
    std::lock_guard lock(mutex_);
    faults_ = faults;
    errorAfter_ = faults.errorAfter ? findCommand(faults.errorAfter->header) : nullptr;
    sinceFaults_ = 0;
    return true;
}

Faults Simulator::faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

bool Simulator::setLoad(int phase, const Load &load)
{
    std::lock_guard lock(mutex_);
    return instrument_.setLoad(phase, load) == 0;
}

void Simulator::powerCycle()
{
    std::lock_guard lock(mutex_);
    instrument_.powerCycle();
}

void Simulator::raise(int code)
{
    std::lock_guard lock(mutex_);
    instrument_.raise(code);
}

Config Simulator::config() const
{
    std::lock_guard lock(mutex_);
    return instrument_.config();
}

Snapshot Simulator::snapshot() const
{
    std::lock_guard lock(mutex_);
    Snapshot s;
    s.settings = instrument_.settings();
    s.remote = instrument_.remote();
    s.identification = instrument_.identification();
    s.powerOnRegister = instrument_.powerOnRegister();
    s.registers = instrument_.registers();
    const auto &entries = instrument_.errors().entries();
    s.errors.assign(entries.begin(), entries.end());
    s.drops = instrument_.drops();
    s.statusByte = instrument_.statusByte();
    s.eventStatus = instrument_.eventStatus();
    return s;
}

PhaseMeasurement Simulator::measurement(int phase) const
{
    std::lock_guard lock(mutex_);
    return instrument_.measure(phase, clockNow());
}

std::size_t Simulator::messagesReceived() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> Simulator::transcript() const
{
    std::lock_guard lock(mutex_);
    return transcript_.lines();
}

bool Simulator::openTranscript(const std::string &path)
{
    std::lock_guard lock(mutex_);
    return transcript_.openFile(path);
}

} // namespace qx::sim
