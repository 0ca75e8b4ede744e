#include "command_table.h"

#include <array>
#include <charconv>
#include <cmath>

namespace qx::sim {
namespace {

using namespace scpi_error;

std::string formatDouble(double value, int precision)
{
    if (value == 0.0 || !std::isfinite(value))
        return "0"; // also turns -0 into 0
    char text[64];
    auto result = precision > 0 ? std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision)
                                : std::to_chars(text, text + sizeof text, value);
    return result.ec == std::errc{} ? std::string(text, result.ptr) : std::string("0");
}

Reply ok() { return {}; }
Reply fail(int code) { return Reply{code, {}}; }
Reply answer(std::string text) { return Reply{0, std::move(text)}; }
Reply answer(int value) { return answer(std::to_string(value)); }
Reply setting(double value) { return answer(formatSetting(value)); }
Reply measured(double value) { return answer(formatMeasurement(value)); }
int whole(double value) { return static_cast<int>(std::lround(value)); }

// Common commands (IEEE 488.2).
Reply idn(Context &c, const Argument &) { return answer(c.instrument.identification()); }
Reply rst(Context &c, const Argument &)
{
    c.instrument.reset();
    return ok();
}
Reply cls(Context &c, const Argument &)
{
    c.instrument.clearStatus();
    return ok();
}
Reply stb(Context &c, const Argument &) { return answer(c.instrument.statusByte()); }
Reply esrQuery(Context &c, const Argument &) { return answer(c.instrument.readEventStatus()); }
Reply ese(Context &c, const Argument &a)
{
    if (a.number < 0 || a.number > 255)
        return fail(DataOutOfRange);
    c.instrument.setEventEnable(static_cast<std::uint8_t>(whole(a.number)));
    return ok();
}
Reply eseQuery(Context &c, const Argument &) { return answer(c.instrument.eventEnable()); }
Reply sre(Context &c, const Argument &a)
{
    if (a.number < 0 || a.number > 255)
        return fail(DataOutOfRange);
    c.instrument.setServiceEnable(static_cast<std::uint8_t>(whole(a.number)));
    return ok();
}
Reply sreQuery(Context &c, const Argument &) { return answer(c.instrument.serviceEnable()); }
Reply opc(Context &c, const Argument &)
{
    c.instrument.operationComplete();
    return ok();
}
Reply opcQuery(Context &, const Argument &) { return answer(1); }
Reply wai(Context &, const Argument &) { return ok(); }
Reply tst(Context &, const Argument &) { return answer(0); }
Reply sav(Context &c, const Argument &a) { return fail(c.instrument.save(whole(a.number))); }
Reply rcl(Context &c, const Argument &a) { return fail(c.instrument.recall(whole(a.number))); }

// System.
Reply remote(Context &c, const Argument &)
{
    c.instrument.setRemote(true);
    return ok();
}
Reply local(Context &c, const Argument &)
{
    c.instrument.setRemote(false);
    return ok();
}
Reply error(Context &c, const Argument &) { return answer(formatError(c.instrument.nextError())); }
Reply errorCount(Context &c, const Argument &) { return answer(static_cast<int>(c.instrument.errors().size())); }
Reply version(Context &, const Argument &) { return answer("1999.0"); }
Reply pon(Context &c, const Argument &a) { return fail(c.instrument.setPowerOnRegister(whole(a.number))); }
Reply ponQuery(Context &c, const Argument &) { return answer(c.instrument.powerOnRegister()); }
Reply snum(Context &c, const Argument &a) { return fail(c.instrument.setSerialNumber(a.text)); }
Reply snumQuery(Context &c, const Argument &) { return answer("\"" + c.instrument.serialNumber() + "\""); }

// Limits.
Reply limVolt(Context &c, const Argument &) { return setting(c.instrument.config().limits.voltage); }
Reply limCurr(Context &c, const Argument &) { return setting(c.instrument.config().limits.current); }
Reply limFreqLow(Context &c, const Argument &) { return setting(c.instrument.config().limits.frequencyLow); }
Reply limFreqHigh(Context &c, const Argument &) { return setting(c.instrument.config().limits.frequencyHigh); }

// Source settings.
Reply volt(Context &c, const Argument &a) { return fail(c.instrument.setVoltage(a.number)); }
Reply voltQuery(Context &c, const Argument &) { return setting(c.instrument.selected().voltage); }
Reply curr(Context &c, const Argument &a) { return fail(c.instrument.setCurrentLimit(a.number)); }
Reply currQuery(Context &c, const Argument &) { return setting(c.instrument.selected().currentLimit); }
Reply freq(Context &c, const Argument &a) { return fail(c.instrument.setFrequency(a.number)); }
Reply freqQuery(Context &c, const Argument &) { return setting(c.instrument.settings().frequency); }
Reply rang(Context &c, const Argument &a) { return fail(c.instrument.setRange(a.number)); }
Reply rangQuery(Context &c, const Argument &) { return setting(c.instrument.rangeVolts()); }

// Output.
Reply outp(Context &c, const Argument &a)
{
    c.instrument.setOutput(a.number != 0.0);
    return ok();
}
Reply outpQuery(Context &c, const Argument &) { return answer(c.instrument.settings().output ? 1 : 0); }
Reply starStat(Context &c, const Argument &a) { return fail(c.instrument.setStartPhaseState(a.number != 0.0)); }
Reply starStatQuery(Context &c, const Argument &) { return answer(c.instrument.selected().startPhaseOn ? 1 : 0); }
Reply starPhas(Context &c, const Argument &a) { return fail(c.instrument.setStartPhase(a.number)); }
// The angle is read back as a whole number of degrees.
Reply starPhasQuery(Context &c, const Argument &) { return answer(whole(c.instrument.selected().startPhase)); }
Reply drop(Context &c, const Argument &a)
{
    return fail(c.instrument.drop(a.present ? std::optional<double>(a.number) : std::nullopt, c.now));
}

// Display and phase selection.
Reply dispMode(Context &c, const Argument &a) { return fail(c.instrument.setDisplayMode(whole(a.number))); }
Reply dispModeQuery(Context &c, const Argument &) { return answer(c.instrument.settings().displayMode); }
Reply coup(Context &c, const Argument &a)
{
    c.instrument.couple(a.number != 0.0);
    return ok();
}
Reply coupQuery(Context &c, const Argument &) { return answer(c.instrument.settings().coupled ? 1 : 0); }
Reply nsel(Context &c, const Argument &a) { return fail(c.instrument.selectPhase(whole(a.number))); }
Reply nselQuery(Context &c, const Argument &) { return answer(c.instrument.settings().selectedPhase); }

// Measurements of the selected phase, or of the whole output while coupled.
PhaseMeasurement reading(Context &c) { return c.instrument.measure(0, c.now); }
Reply measVolt(Context &c, const Argument &) { return measured(reading(c).voltage); }
Reply measCurr(Context &c, const Argument &) { return measured(reading(c).current); }
Reply measPeak(Context &c, const Argument &) { return measured(reading(c).peakCurrent); }
Reply measCrest(Context &c, const Argument &) { return measured(reading(c).crestFactor); }
Reply measPow(Context &c, const Argument &) { return measured(reading(c).realPower); }
Reply measApp(Context &c, const Argument &) { return measured(reading(c).apparentPower); }
Reply measPfac(Context &c, const Argument &) { return measured(reading(c).powerFactor); }
Reply measFreq(Context &c, const Argument &)
{
    return measured(reading(c).voltage > 0.0 ? c.instrument.settings().frequency : 0.0);
}

Bounds voltageBounds(const Instrument &i) { return i.voltageBounds(); }
Bounds currentBounds(const Instrument &i) { return i.currentBounds(); }
Bounds frequencyBounds(const Instrument &i) { return i.frequencyBounds(); }
Bounds rangeBounds(const Instrument &i) { return i.rangeBounds(); }
Bounds startPhaseBounds(const Instrument &) { return Instrument::startPhaseBounds(); }
Bounds dropBounds(const Instrument &) { return Instrument::dropBounds(); }

using P = ParamKind;
using U = Unit;
constexpr bool Set = false;
constexpr bool Query = true;

constexpr std::array kCommands{
    CommandRecord{"*IDN", Query, P::None, U::None, nullptr, idn},
    CommandRecord{"*RST", Set, P::None, U::None, nullptr, rst},
    CommandRecord{"*CLS", Set, P::None, U::None, nullptr, cls},
    CommandRecord{"*STB", Query, P::None, U::None, nullptr, stb},
    CommandRecord{"*ESR", Query, P::None, U::None, nullptr, esrQuery},
    CommandRecord{"*ESE", Set, P::Integer, U::None, nullptr, ese},
    CommandRecord{"*ESE", Query, P::None, U::None, nullptr, eseQuery},
    CommandRecord{"*SRE", Set, P::Integer, U::None, nullptr, sre},
    CommandRecord{"*SRE", Query, P::None, U::None, nullptr, sreQuery},
    CommandRecord{"*OPC", Set, P::None, U::None, nullptr, opc},
    CommandRecord{"*OPC", Query, P::None, U::None, nullptr, opcQuery},
    CommandRecord{"*WAI", Set, P::None, U::None, nullptr, wai},
    CommandRecord{"*TST", Query, P::None, U::None, nullptr, tst},
    CommandRecord{"*SAV", Set, P::Integer, U::None, nullptr, sav},
    CommandRecord{"*RCL", Set, P::Integer, U::None, nullptr, rcl},

    CommandRecord{"SYSTem:REMote", Set, P::None, U::None, nullptr, remote},
    CommandRecord{"SYSTem:LOCal", Set, P::None, U::None, nullptr, local},
    CommandRecord{"SYSTem:ERRor[:NEXT]", Query, P::None, U::None, nullptr, error},
    CommandRecord{"SYSTem:ERRor:COUNt", Query, P::None, U::None, nullptr, errorCount},
    CommandRecord{"SYSTem:VERSion", Query, P::None, U::None, nullptr, version},
    CommandRecord{"SYSTem:PON", Set, P::Integer, U::None, nullptr, pon},
    CommandRecord{"SYSTem:PON", Query, P::None, U::None, nullptr, ponQuery},
    CommandRecord{"SYSTem:SNUMber", Set, P::String, U::None, nullptr, snum},
    CommandRecord{"SYSTem:SNUMber", Query, P::None, U::None, nullptr, snumQuery},

    CommandRecord{"LIMit:VOLTage", Query, P::None, U::None, nullptr, limVolt},
    CommandRecord{"LIMit:CURRent", Query, P::None, U::None, nullptr, limCurr},
    CommandRecord{"LIMit:FREQuency:LOW", Query, P::None, U::None, nullptr, limFreqLow},
    CommandRecord{"LIMit:FREQuency:HIGH", Query, P::None, U::None, nullptr, limFreqHigh},

    CommandRecord{"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", Set, P::Number, U::Volt, voltageBounds, volt},
    CommandRecord{"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", Query, P::QueryBound, U::Volt, voltageBounds,
                voltQuery},
    CommandRecord{"[SOURce:]VOLTage:RANGe", Set, P::Number, U::Volt, rangeBounds, rang},
    CommandRecord{"[SOURce:]VOLTage:RANGe", Query, P::QueryBound, U::Volt, rangeBounds, rangQuery},
    CommandRecord{"[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", Set, P::Number, U::Ampere, currentBounds, curr},
    CommandRecord{"[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", Query, P::QueryBound, U::Ampere, currentBounds,
                currQuery},
    CommandRecord{"[SOURce:]FREQuency[:CW]", Set, P::Number, U::Hertz, frequencyBounds, freq},
    CommandRecord{"[SOURce:]FREQuency[:CW]", Query, P::QueryBound, U::Hertz, frequencyBounds, freqQuery},

    CommandRecord{"OUTPut[:STATe]", Set, P::Boolean, U::None, nullptr, outp},
    CommandRecord{"OUTPut[:STATe]", Query, P::None, U::None, nullptr, outpQuery},
    CommandRecord{"OUTPut:STARt[:STATe]", Set, P::Boolean, U::None, nullptr, starStat},
    CommandRecord{"OUTPut:STARt[:STATe]", Query, P::None, U::None, nullptr, starStatQuery},
    CommandRecord{"OUTPut:STARt:PHASe", Set, P::Number, U::Degree, startPhaseBounds, starPhas},
    CommandRecord{"OUTPut:STARt:PHASe", Query, P::QueryBound, U::Degree, startPhaseBounds, starPhasQuery},
    CommandRecord{"OUTPut:DROP", Set, P::OptionalNumber, U::Second, dropBounds, drop},

    CommandRecord{"DISPlay:MODE", Set, P::Integer, U::None, nullptr, dispMode},
    CommandRecord{"DISPlay:MODE", Query, P::None, U::None, nullptr, dispModeQuery},
    CommandRecord{"INSTrument:COUPle", Set, P::Coupling, U::None, nullptr, coup},
    CommandRecord{"INSTrument:COUPle", Query, P::None, U::None, nullptr, coupQuery},
    CommandRecord{"INSTrument:NSELect", Set, P::Integer, U::None, nullptr, nsel},
    CommandRecord{"INSTrument:NSELect", Query, P::None, U::None, nullptr, nselQuery},

    CommandRecord{"MEASure[:SCALar]:VOLTage[:AC]", Query, P::None, U::None, nullptr, measVolt},
    CommandRecord{"MEASure[:SCALar]:CURRent[:AC]", Query, P::None, U::None, nullptr, measCurr},
    CommandRecord{"MEASure[:SCALar]:CURRent:AMPLitude:MAXimum", Query, P::None, U::None, nullptr, measPeak},
    CommandRecord{"MEASure[:SCALar]:CURRent:CREStfactor", Query, P::None, U::None, nullptr, measCrest},
    CommandRecord{"MEASure[:SCALar]:POWer[:REAL]", Query, P::None, U::None, nullptr, measPow},
    CommandRecord{"MEASure[:SCALar]:POWer:APParent", Query, P::None, U::None, nullptr, measApp},
    CommandRecord{"MEASure[:SCALar]:POWer:PFACtor", Query, P::None, U::None, nullptr, measPfac},
    CommandRecord{"MEASure[:SCALar]:FREQuency", Query, P::None, U::None, nullptr, measFreq},
};

} // namespace

std::span<const CommandRecord> commandTable() { return kCommands; }

std::string formatSetting(double value) { return formatDouble(value, 0); }
std::string formatMeasurement(double value) { return formatDouble(value, 6); }

} // namespace qx::sim
