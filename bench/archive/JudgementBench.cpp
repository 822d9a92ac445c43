// The judge of trigger levels and reading quality at the archive's sizes: a million readings of
// 200 gauges (5,000 each, three levels each, a rate among them) judged from the start (target:
// 0.5 s), one gauge's 100,000 readings judged again after a change of its levels (target: 50 ms),
// and a download's new readings of that gauge judged from the state kept, with the lookback.
#include "archive/Judgement.h"

#include <QDate>
#include <benchmark/benchmark.h>
#include <random>

using namespace archive;

namespace {

constexpr qint64 kStart = 1767225600; // 2026-01-01 00:00:00 UTC

// A reading every 6 hours: a slow drift, noise at the readout's 0.1 Hz, now and then a masked
// one or one without a temperature.
std::vector<JudgeInput> gaugeReadings(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 0.3);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<JudgeInput> out;
    out.reserve(std::size_t(count));
    double drift = 0;
    for (int i = 0; i < count; ++i) {
        drift += 0.002 + (u(rng) < 0.001 ? 5 : 0);
        JudgeInput r;
        r.utc = kStart + qint64(i) * 6 * 3600;
        r.hz = std::round((2500 + drift + noise(rng)) * 10) / 10;
        r.value = r.hz - 2500;
        r.temperatureC = u(rng) < 0.02 ? NAN : 15 + 5 * std::sin(i / 200.0);
        r.masked = u(rng) < 0.005;
        r.downloadedUtc = r.utc + 86400;
        out.push_back(r);
    }
    return out;
}

std::vector<LevelSet> gaugeSets()
{
    LevelSet s;
    s.id = 1;
    s.gauge = QStringLiteral("P1");
    TriggerLevel value;
    value.rank = 3;
    value.threshold = 20;
    TriggerLevel change;
    change.rank = 2;
    change.quantity = LevelQuantity::Change;
    change.threshold = 8;
    change.confirm = 3;
    change.deadBand = 0.5;
    TriggerLevel rate;
    rate.rank = 1;
    rate.quantity = LevelQuantity::Rate;
    rate.threshold = 0.5;
    rate.windowDays = 7;
    rate.confirm = 2;
    s.levels = {value, change, rate};
    return {s};
}

void BM_JudgeAMillionReadingsOf200Gauges(benchmark::State& state)
{
    std::vector<std::vector<JudgeInput>> gauges;
    for (unsigned g = 0; g < 200; ++g)
        gauges.push_back(gaugeReadings(5000, g));
    const std::vector<LevelSet> sets = gaugeSets();
    const QualityRules rules;
    std::size_t transitions = 0;
    for (auto _ : state) {
        for (const std::vector<JudgeInput>& readings : gauges) {
            JudgeState judged;
            const JudgeOutput out = judgeSeries(readings, 0, sets, rules, QDate(2025, 12, 1), &judged);
            transitions += out.transitions.size();
            benchmark::DoNotOptimize(out.judgements.data());
        }
    }
    state.counters["transitions"] = double(transitions) / double(state.iterations());
}
BENCHMARK(BM_JudgeAMillionReadingsOf200Gauges)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_JudgeOneGaugesHundredThousandAgain(benchmark::State& state)
{
    const std::vector<JudgeInput> readings = gaugeReadings(100'000, 7);
    const std::vector<LevelSet> sets = gaugeSets();
    const QualityRules rules;
    for (auto _ : state) {
        JudgeState judged;
        const JudgeOutput out = judgeSeries(readings, 0, sets, rules, QDate(2025, 12, 1), &judged);
        benchmark::DoNotOptimize(out.judgements.data());
    }
}
BENCHMARK(BM_JudgeOneGaugesHundredThousandAgain)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3);

// 500 new readings after 100,000, judged from the state after them through its text, given the
// readings the lookback asks for.
void BM_JudgeNewReadingsFromTheKeptState(benchmark::State& state)
{
    const std::vector<JudgeInput> all = gaugeReadings(100'500, 7);
    const std::vector<LevelSet> sets = gaugeSets();
    const QualityRules rules;
    JudgeState kept;
    judgeSeries(std::vector<JudgeInput>(all.begin(), all.end() - 500), 0, sets, rules, QDate(2025, 12, 1), &kept);
    const QString text = kept.toText();
    const Lookback lb = lookbackFor(sets, rules);
    const std::size_t first = all.size() - 500;
    std::size_t start = first;
    while (start > 0 && (all[start - 1].utc >= all[first].utc - lb.seconds || first - start < std::size_t(lb.readings) * 2))
        --start;
    const std::vector<JudgeInput> given(all.begin() + qint64(start) - 1, all.end());
    for (auto _ : state) {
        std::optional<JudgeState> judged = JudgeState::fromText(text);
        const JudgeOutput out = judgeSeries(given, first - start + 1, sets, rules, QDate(2025, 12, 1), &*judged);
        benchmark::DoNotOptimize(out.judgements.data());
    }
}
BENCHMARK(BM_JudgeNewReadingsFromTheKeptState)->Unit(benchmark::kMicrosecond)->Iterations(100);

} // namespace
