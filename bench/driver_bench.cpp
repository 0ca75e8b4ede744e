// How much time the controller itself adds to an instrument exchange: formatted I/O, the
// attribute engine's checks and cache, and a full driver call against the in-process simulator.
// Fixed pacing waits go to a virtual clock, so only the software's own cost is measured.
#include "ivi/ivi.h"
#include "runtime/clock.h"
#include "sim/attach.h"
#include "sim/simulator.h"
#include "visa/device.h"
#include "visa/visa.h"
#include "zev_qx70.h"

#include <benchmark/benchmark.h>

namespace {

struct Bench {
    Bench()
    {
        qx::sim::attach(simulator, "GPIB0::5::INSTR");
        ZEV_QX70_init(const_cast<ViRsrc>("GPIB::5::INSTR"), VI_TRUE, VI_FALSE, &vi, 0);
    }
    ~Bench()
    {
        ZEV_QX70_close(vi);
        qx::visa::detachDevice("GPIB0::5::INSTR");
    }
    qx::runtime::VirtualClock clock;
    qx::runtime::ScopedClock guard{clock};
    std::shared_ptr<qx::sim::Simulator> simulator = std::make_shared<qx::sim::Simulator>();
    ViSession vi = VI_NULL;
};

void FormattedQuery(benchmark::State &state)
{
    Bench bench;
    ViSession io = Ivi_IOSession(bench.vi);
    for (auto _ : state) {
        ViReal64 volts = 0;
        viPrintf(io, "VOLT?");
        viScanf(io, "%lf", &volts);
        benchmark::DoNotOptimize(volts);
    }
}
BENCHMARK(FormattedQuery);

void CachedAttributeSet(benchmark::State &state)
{
    Bench bench;
    ZEV_QX70_SetAttributeViReal64(bench.vi, "1", ZEV_QX70_ATTR_FREQUENCY, 50.0);
    for (auto _ : state)
        benchmark::DoNotOptimize(Ivi_SetAttributeViReal64(bench.vi, "1", ZEV_QX70_ATTR_FREQUENCY, 0, 50.0));
}
BENCHMARK(CachedAttributeSet);

void SetVoltageWithStatusCheck(benchmark::State &state)
{
    Bench bench;
    ZEV_QX70_GenerateACVoltageRange(bench.vi, "1", 2.0);
    double volts = 100.0;
    for (auto _ : state) {
        volts = volts == 100.0 ? 110.0 : 100.0;
        benchmark::DoNotOptimize(ZEV_QX70_GenerateACVoltage(bench.vi, "1", volts));
    }
}
BENCHMARK(SetVoltageWithStatusCheck);

void MeasurePhaseVoltage(benchmark::State &state)
{
    Bench bench;
    for (auto _ : state) {
        ViReal64 volts = 0;
        benchmark::DoNotOptimize(
            ZEV_QX70_PhaseMeasureOutput(bench.vi, "1", ZEV_QX70_VAL_MEASURE_VOLTAGE, 1, &volts));
    }
}
BENCHMARK(MeasurePhaseVoltage);

} // namespace

BENCHMARK_MAIN();
