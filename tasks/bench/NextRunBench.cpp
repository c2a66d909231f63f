// Next-run times: typical and pathological rules, and a list of 10,000 varied tasks, in a zone
// with daylight saving.
// Run with: cmake --build build --target next_run_bench && build/bench/next_run_bench
#include "tasks/model/ActionDeleteFile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

void UseZone() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
}

const std::int64_t kNow = 1775000000; // 2026-03-31

std::unique_ptr<CActionDeleteFile> RandomRule(std::mt19937& rng) {
    auto r = std::make_unique<CActionDeleteFile>("/x");
    r->m_nRunType = 1;
    r->m_nTimeFrame = static_cast<int>(rng() % 5);
    static const int steps[] = {1, 5, 15, 30, 60, 90, 120, 1439, 1441, 10007};
    r->m_nInterval = r->m_nTimeFrame == 0 ? steps[rng() % 10] : static_cast<int>(rng() % 12) + 1;
    r->m_tStart = kNow - static_cast<std::int64_t>(rng() % (400 * 86400));
    r->m_nMinute = static_cast<int>(rng() % 60);
    r->m_nHour = static_cast<int>(rng() % 24);
    r->m_nDay = static_cast<int>(rng() % 32) + 1;
    for (int h = 0; h < 24; ++h)
        if (rng() % 3 == 0)
            r->m_vHours.push_back(h);
    for (int d = 1; d <= 7; ++d)
        if (rng() % 2 == 0)
            r->m_vDays.push_back(d);
    for (int m = 1; m <= 12; ++m)
        if (rng() % 3 == 0)
            r->m_vMonths.push_back(m);
    return r;
}

// Rules that never fire or fire only far away: the search must not walk there minute by minute.
std::vector<std::unique_ptr<CActionDeleteFile>> PathologicalRules() {
    std::vector<std::unique_ptr<CActionDeleteFile>> rules;
    auto add = [&](int frame, int interval, std::vector<std::int32_t> hours, std::vector<std::int32_t> days,
                   std::vector<std::int32_t> monthsList, int hour = 0) {
        auto r = std::make_unique<CActionDeleteFile>("/x");
        r->m_nRunType = 1;
        r->m_nTimeFrame = frame;
        r->m_nInterval = interval;
        r->m_tStart = 1767222000; // 2026-01-01 00:00 local
        r->m_vHours = std::move(hours);
        r->m_vDays = std::move(days);
        r->m_vMonths = std::move(monthsList);
        r->m_nHour = hour;
        r->m_nDay = 31;
        rules.push_back(std::move(r));
    };
    add(0, 1, {24, 99}, {1, 2, 3, 4, 5, 6, 7}, {}); // hours outside the day
    add(0, 1, {3}, {0, 9}, {});                     // weekdays outside the week
    add(0, 120, {1, 3, 5}, {1}, {});                // even grid, odd hours: summer only
    add(0, 120, {3}, {1}, {});                      // even grid on Sundays in summer
    add(1, 168, {6}, {2}, {});                      // weekly grid on the wrong day: never
    add(0, 10007, {13}, {4}, {});                   // a step that walks the week slowly
    add(0, 1441, {0}, {1}, {});                     // a day and a minute
    add(2, 7, {}, {3}, {});                         // daily grid that stays on one weekday
    add(4, 828, {}, {}, {2});                       // the longest monthly step
    add(4, 13, {}, {}, {2}, 0);                     // months that come back slowly
    add(3, 3550, {}, {1}, {});                      // the longest weekly step
    add(0, 10079, {2}, {1}, {});                    // a minute short of a week
    add(0, 29171, {13}, {4}, {});                   // an awkward step of three weeks
    return rules;
}

void BM_NextRunRandomRule(benchmark::State& state) {
    UseZone();
    std::mt19937 rng(1);
    std::vector<std::unique_ptr<CActionDeleteFile>> rules;
    for (int i = 0; i < 1000; ++i)
        rules.push_back(RandomRule(rng));
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(rules[i++ % rules.size()]->GetNextRun(kNow));
}

void BM_NextRunPathologicalRule(benchmark::State& state) {
    UseZone();
    auto rules = PathologicalRules();
    auto& rule = *rules[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state)
        benchmark::DoNotOptimize(rule.GetNextRun(kNow));
}

void BM_NextRunTenThousandTasks(benchmark::State& state) {
    UseZone();
    std::mt19937 rng(2);
    std::vector<std::unique_ptr<CActionDeleteFile>> rules;
    for (int i = 0; i < 10000; ++i)
        rules.push_back(RandomRule(rng));
    for (auto _ : state) {
        for (auto& r : rules)
            benchmark::DoNotOptimize(r->GetNextRun(kNow));
    }
}

} // namespace

BENCHMARK(BM_NextRunRandomRule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextRunPathologicalRule)->DenseRange(0, 12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextRunTenThousandTasks)->Unit(benchmark::kMillisecond);
