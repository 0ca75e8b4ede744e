// Query round trips ("*IDN?" and its answer) on the resources named on the command line, e.g. a
// serial line directly and the same line through qxgate (VXI-11 or raw socket), or qxsim's VXI-11
// server. Run by lan_round_trip.sh and socket_round_trip.sh, which start the parts; any Google
// Benchmark flag may come first.
#include <benchmark/benchmark.h>

#include <string>

#include "visa/visa.h"

namespace {

void query(benchmark::State &state, ViSession vi, const std::string &message)
{
    char answer[256];
    for (auto _ : state) {
        ViUInt32 count = 0;
        if (viWrite(vi, reinterpret_cast<ViConstBuf>(message.data()), static_cast<ViUInt32>(message.size()), &count) < 0 ||
            viRead(vi, reinterpret_cast<ViBuf>(answer), sizeof answer, &count) < 0) {
            state.SkipWithError("the query failed");
            return;
        }
        benchmark::DoNotOptimize(answer);
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    ViSession rm = VI_NULL;
    if (viOpenDefaultRM(&rm) < 0)
        return 1;
    for (int i = 1; i < argc; ++i) {
        const std::string resource = argv[i];
        ViSession vi = VI_NULL;
        if (viOpen(rm, resource.c_str(), VI_NULL, 0, &vi) < 0) {
            std::fprintf(stderr, "cannot open %s\n", resource.c_str());
            return 1;
        }
        // A serial line and a raw socket end messages with a line feed; VXI-11 with END.
        const bool lines = resource.rfind("ASRL", 0) == 0 || resource.ends_with("::SOCKET");
        benchmark::RegisterBenchmark(("query " + resource).c_str(), query, vi, lines ? "*IDN?\n" : "*IDN?")
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(1.0);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    viClose(rm);
    return 0;
}
