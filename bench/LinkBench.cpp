// The frame exchange against the simulated reader with line-time emulation:
// one exchange, the LinkOpen probe, and the CPU share of a time-out wait.
//
// Each exchange benchmark reports the line limit (the 10 ms pause after
// sending plus the line time of request and reply) and the ratio of the
// measured time to it.
#include "LinkApi.h"
#include "PtySimulator.h"
#include "SimReader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

namespace {

struct Bench {
    CSimReader reader;
    std::unique_ptr<CPtySimulator> sim;
    std::string path;

    explicit Bench(uint32_t baud) : reader(Options(baud)) {
        setenv("KVPLM_SIM_DIR", "/tmp/kvplm-bench-sim", 1);
        CPtySimulator::Options options;
        options.lineTime = true;
        options.announce = false;
        sim = std::make_unique<CPtySimulator>(reader, options);
        sim->Start();
        path = sim->DevicePath();
    }
    static CSimReader::Options Options(uint32_t baud) {
        CSimReader::Options o;
        o.line.baud = baud;
        return o;
    }
};

double LineMs(size_t bytes, int baud) {
    return double(bytes) * 10.0 * 1000.0 / baud;
}

// limitMs: the 10 ms pause plus the line time of request and reply, one
// after the other. The floor: the request's line time runs during the pause
// and the reader answers while the host still pauses, so an exchange cannot
// end before max(10 ms, the line time of both).
void SetLimit(benchmark::State& state, double limitMs, double floorMs, double totalMs) {
    const double perIteration = totalMs / double(state.iterations());
    state.counters["limit_ms"] = limitMs;
    state.counters["floor_ms"] = floorMs;
    state.counters["measured_ms"] = perIteration;
    state.counters["ratio"] = perIteration / limitMs;
    state.counters["over_floor_ms"] = perIteration - floorMs;
}

double Floor(size_t bytes, int baud) {
    return std::max(10.0, LineMs(bytes, baud));
}

// LinkSetState: request 02 01 F4 01 00 F4 (6 bytes), reply 02 01 00 00 01 (5 bytes).
void BM_Exchange(benchmark::State& state) {
    const int baud = int(state.range(0));
    Bench bench{uint32_t(baud)};
    const int id = LinkOpen(bench.path.c_str(), baud, 0, 500);
    if (id <= 0) {
        state.SkipWithError("no simulated reader");
        return;
    }
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (LinkSetState(id, 0) != 0) state.SkipWithError("exchange failed");
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    LinkClose(id);
    SetLimit(state, 10.0 + LineMs(6 + 5, baud), Floor(6 + 5, baud), totalMs);
}
BENCHMARK(BM_Exchange)->Arg(9600)->Arg(19200)->Unit(benchmark::kMillisecond)->Iterations(50);

// LinkOpen: open the tty, probe 02 01 F0 00 F1 (5 bytes), reply with 4 data bytes (9 bytes); then close.
void BM_OpenProbe(benchmark::State& state) {
    const int baud = int(state.range(0));
    Bench bench{uint32_t(baud)};
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int id = LinkOpen(bench.path.c_str(), baud, 0, 500);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (id <= 0)
            state.SkipWithError("open failed");
        else
            LinkClose(id);
    }
    SetLimit(state, 10.0 + LineMs(5 + 9, baud), Floor(5 + 9, baud), totalMs);
}
BENCHMARK(BM_OpenProbe)->Arg(9600)->Arg(19200)->Unit(benchmark::kMillisecond)->Iterations(30);

// A 500 ms reply time-out with a silent reader: the process's CPU time
// (waiting thread, port thread and the idle simulator) as a share of one
// core; without UI hooks (command line, library users) and with a program's
// event pump installed (here one that does nothing).
void TimeoutWait(benchmark::State& state, bool hooks) {
    Bench bench(19200);
    const int id = LinkOpen(bench.path.c_str(), 19200, 0, 500);
    if (id <= 0) {
        state.SkipWithError("no simulated reader");
        return;
    }
    LinkUiHooks ui{};
    ui.pumpEvents = [](void*) {};
    LinkSetUiHooks(hooks ? &ui : nullptr);
    bench.reader.FaultSilenceAll(true);
    double wallMs = 0, cpuMs = 0;
    for (auto _ : state) {
        timespec c0, c1;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
        const auto start = std::chrono::steady_clock::now();
        LinkSetState(id, 0);
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
        cpuMs += (c1.tv_sec - c0.tv_sec) * 1e3 + (c1.tv_nsec - c0.tv_nsec) / 1e6;
    }
    LinkSetUiHooks(nullptr);
    LinkClose(id);
    state.counters["wait_ms"] = wallMs / double(state.iterations());
    state.counters["cpu_share_percent"] = 100.0 * cpuMs / wallMs;
}

void BM_TimeoutWaitCpu(benchmark::State& state) {
    TimeoutWait(state, false);
}
BENCHMARK(BM_TimeoutWaitCpu)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_TimeoutWaitCpuWithHooks(benchmark::State& state) {
    TimeoutWait(state, true);
}
BENCHMARK(BM_TimeoutWaitCpuWithHooks)->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

BENCHMARK_MAIN();
