// What a wait costs: processor time used by the process while Delay waits, as a share of the
// wall time waited. Waiting must not spin.
#include "platform/Delay.h"

#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

double processSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void BM_DelayOneSecond(benchmark::State& state)
{
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const double before = processSeconds();
        Delay(1.0f);
        cpu += processSeconds() - before;
        wall += double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    state.counters["cpu_share_percent"] = 100.0 * cpu / wall;
    state.counters["waited_s"] = wall / double(state.iterations());
}
BENCHMARK(BM_DelayOneSecond)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
