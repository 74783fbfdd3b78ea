// Cost of reading a rate text and of composing the plan line, which both run
// after every keystroke in a rate box. Goal: well under a microsecond for a
// typical text.
#include <benchmark/benchmark.h>
#include <string.h>
#include <string>
#include "rate/rate_eval.h"
#include "rate/rate_plan.h"

namespace {

// A text of exactly 255 characters, all of which are read.
std::string long_text()
{
    std::string text;
    while (text.size() < 255) text += "20 clicks per second, ";
    text.resize(255);
    return text;
}

void parse_text(benchmark::State &state, const char *text)
{
    RateEntry entry;
    memset(&entry, 0, sizeof entry);
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse_rate_text(text, &entry));
        benchmark::DoNotOptimize(entry);
    }
}

void BM_parse_20(benchmark::State &state) { parse_text(state, "20"); }
void BM_parse_groups(benchmark::State &state) { parse_text(state, "1 million 500 thousand"); }
void BM_parse_centillion(benchmark::State &state) { parse_text(state, "1e-300 centillion"); }
void BM_parse_255_chars(benchmark::State &state)
{
    static const std::string text = long_text();
    parse_text(state, text.c_str());
}

void compose(benchmark::State &state, const RateEntry &entry, int interval_mode)
{
    char line[PLAN_TEXT_SIZE];
    for (auto _ : state) {
        benchmark::DoNotOptimize(compose_plan_line(&entry, interval_mode, line, sizeof line));
        benchmark::ClobberMemory();
    }
}

void BM_plan_line_ok(benchmark::State &state) { compose(state, read_rate_per_second("20"), 0); }
void BM_plan_line_limited(benchmark::State &state) { compose(state, read_rate_per_second("1 centillion"), 0); }
void BM_plan_line_below_min(benchmark::State &state) { compose(state, read_rate_interval("1e-300", "1e300"), 1); }

// What one keystroke costs: reading the box text and composing the line.
void BM_keystroke_per_second(benchmark::State &state)
{
    char line[PLAN_TEXT_SIZE];
    for (auto _ : state) {
        RateEntry e = read_rate_per_second("1 million 500 thousand");
        benchmark::DoNotOptimize(compose_plan_line(&e, 0, line, sizeof line));
        benchmark::ClobberMemory();
    }
}
void BM_keystroke_interval(benchmark::State &state)
{
    char line[PLAN_TEXT_SIZE];
    for (auto _ : state) {
        RateEntry e = read_rate_interval("3", "7");
        benchmark::DoNotOptimize(compose_plan_line(&e, 1, line, sizeof line));
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_parse_20);
BENCHMARK(BM_parse_groups);
BENCHMARK(BM_parse_centillion);
BENCHMARK(BM_parse_255_chars);
BENCHMARK(BM_plan_line_ok);
BENCHMARK(BM_plan_line_limited);
BENCHMARK(BM_plan_line_below_min);
BENCHMARK(BM_keystroke_per_second);
BENCHMARK(BM_keystroke_interval);

BENCHMARK_MAIN();
