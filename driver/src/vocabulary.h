// The SCPI the driver speaks, in one table: every command and query as it goes out over GPIB,
// with its argument conversion where it takes one, and the wait after it where the driver always
// waits the same. Functions name entries (Scpi::SetVoltage), never text; the serial line's form
// (a line feed added) is made when a message is sent.
#pragma once

#include <cstddef>
#include <iterator>

namespace zev {

// Pacing, seconds.
inline constexpr double kSettle = 0.03;      // after a setting command
inline constexpr double kStatusPause = 0.05; // around the error query's answer, after a state query
inline constexpr double kPhasePace = 0.02;   // the shorter steps of phase selection and drop queries

enum class Scpi {
    Remote,
    Local,
    Clear,
    Reset,
    ErrorQuery,
    RootedErrorQuery,
    StatusByteQuery,
    IdentityQuery,
    VoltageLimitQuery,
    CurrentLimitQuery,
    FrequencyLowLimitQuery,
    FrequencyHighLimitQuery,
    SetVoltageRange,
    VoltageRangeQuery,
    SetVoltage,
    SetVoltageNow,
    VoltageQuery,
    SetCurrent,
    CurrentQuery,
    SetFrequency,
    FrequencyQuery,
    SetOutput,
    OutputQuery,
    SetDisplayMode,
    DisplayModeQuery,
    SaveRegister,
    RecallRegister,
    SetPowerOnRegister,
    PowerOnRegisterQuery,
    SetSerialNumber,
    MeasureVoltage,
    MeasureCurrent,
    MeasurePeakCurrent,
    MeasureCrestFactor,
    MeasureApparentPower,
    MeasurePowerFactor,
    MeasureRealPower,
    CouplePhases,
    UncouplePhases,
    SelectPhase,
    SetStartPhaseState,
    StartPhaseStateQuery,
    SetStartPhase,
    StartPhaseQuery,
    Drop,
    TimedDrop,
};

struct Message {
    Scpi id;
    const char *text; // the GPIB form: one printf conversion at most
    double settle;    // the wait after it, seconds; 0 where it depends on the caller
};

inline constexpr Message vocabulary[] = {
    {Scpi::Remote, "SYST:REM", kSettle},
    {Scpi::Local, "SYST:LOC", kSettle},
    {Scpi::Clear, "*CLS", kSettle},
    {Scpi::Reset, "*RST", kSettle},
    {Scpi::ErrorQuery, "SYST:ERR?", 0.0},
    {Scpi::RootedErrorQuery, ":SYST:ERR?", 0.0},
    {Scpi::StatusByteQuery, "*STB?", 0.0},
    {Scpi::IdentityQuery, "*IDN?", 0.0},
    {Scpi::VoltageLimitQuery, "LIM:VOLT?", 0.0},
    {Scpi::CurrentLimitQuery, "LIM:CURR?", 0.0},
    {Scpi::FrequencyLowLimitQuery, "LIM:FREQ:LOW?", 0.0},
    {Scpi::FrequencyHighLimitQuery, "LIM:FREQ:HIGH?", 0.0},
    {Scpi::SetVoltageRange, "VOLT:RANG %lf", kSettle},
    {Scpi::VoltageRangeQuery, "VOLT:RANG?", 0.0},
    {Scpi::SetVoltage, "VOLT %lf", kSettle},
    {Scpi::SetVoltageNow, "VOLT %f", 0.0},
    {Scpi::VoltageQuery, "VOLT?", 0.0},
    {Scpi::SetCurrent, "CURR %lf", kSettle},
    {Scpi::CurrentQuery, "CURR?", 0.0},
    {Scpi::SetFrequency, "FREQ %lf", kSettle},
    {Scpi::FrequencyQuery, "FREQ?", 0.0},
    {Scpi::SetOutput, "OUTP %ld", kSettle},
    {Scpi::OutputQuery, "OUTP?", 0.0},
    {Scpi::SetDisplayMode, "DISP:MODE %ld", kSettle},
    {Scpi::DisplayModeQuery, "DISP:MODE?", 0.0},
    {Scpi::SaveRegister, "*SAV %ld", kSettle},
    {Scpi::RecallRegister, "*RCL %ld", kSettle},
    {Scpi::SetPowerOnRegister, "SYST:PON %ld", kSettle},
    {Scpi::PowerOnRegisterQuery, "SYST:PON?", 0.0},
    {Scpi::SetSerialNumber, "SYST:SNUM '%s'", kSettle},
    {Scpi::MeasureVoltage, "MEAS:VOLT?", 0.0},
    {Scpi::MeasureCurrent, "MEAS:CURR?", 0.0},
    {Scpi::MeasurePeakCurrent, "MEAS:CURR:AMPL:MAX?", 0.0},
    {Scpi::MeasureCrestFactor, "MEAS:CURR:CRES?", 0.0},
    {Scpi::MeasureApparentPower, "MEAS:POW:APP?", 0.0},
    {Scpi::MeasurePowerFactor, "MEAS:POW:PFAC?", 0.0},
    {Scpi::MeasureRealPower, "MEAS:POW?", 0.0},
    {Scpi::CouplePhases, "INST:COUP 1", 0.0},
    {Scpi::UncouplePhases, "INST:COUP 0", 0.0},
    {Scpi::SelectPhase, "INST:NSEL %hd", 0.0},
    {Scpi::SetStartPhaseState, "OUTP:STAR:STAT %ld", 0.0},
    {Scpi::StartPhaseStateQuery, "OUTP:STAR?", 0.0},
    {Scpi::SetStartPhase, "OUTP:STAR:PHAS %f", 0.0},
    {Scpi::StartPhaseQuery, "OUTP:STAR:PHAS?", 0.0},
    {Scpi::Drop, "OUTP:DROP", 0.0},
    {Scpi::TimedDrop, "OUTP:DROP %f", 0.0},
};

constexpr const Message &message(Scpi id) { return vocabulary[static_cast<std::size_t>(id)]; }
// The text of an entry; a constant expression, so that its conversion is checked against the
// arguments where the message is sent.
constexpr const char *scpi(Scpi id) { return message(id).text; }

constexpr bool inOrder()
{
    for (std::size_t i = 0; i < std::size(vocabulary); ++i)
        if (static_cast<std::size_t>(vocabulary[i].id) != i)
            return false;
    return true;
}
static_assert(inOrder(), "every entry sits at the place of its id");
static_assert(std::size(vocabulary) == static_cast<std::size_t>(Scpi::TimedDrop) + 1, "one entry per id");

} // namespace zev
