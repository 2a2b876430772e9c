// Cost of the two event paths against a pass-through that only calls
// GetCount, GetAt and Add on the same queues, so the ratio shows what the
// filtering itself adds. The last line is the sequenced path's ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "bench/blocks.h"
#include "bench/lv2_cycle.h"
#include "bench/lv2_pass_through.h"
#include "bench/pass_through.h"
#include "filter/event_paths.h"
#include "tests/filter/fake_queues.h"

namespace {

void BM_OnEvents(benchmark::State& state) {
    CFilterCore core;
    CFakeEventQueue input(state.range(0) ? EventBlock() : std::vector<MfxEvent>{}), output;
    for (auto _ : state) {
        output.m_added.clear();
        RunSequencedPath(core, &input, &output);
        benchmark::DoNotOptimize(output.m_added.data());
    }
}

void BM_PassThroughEvents(benchmark::State& state) {
    CFakeEventQueue input(state.range(0) ? EventBlock() : std::vector<MfxEvent>{}), output;
    for (auto _ : state) {
        output.m_added.clear();
        PassThroughEvents(&input, &output);
        benchmark::DoNotOptimize(output.m_added.data());
    }
}

void BM_OnInput(benchmark::State& state) {
    CFilterCore core;
    CFakeDataQueue input(state.range(0) ? DataBlock() : std::vector<MfxData>{}), output;
    for (auto _ : state) {
        output.m_added.clear();
        RunLivePath(core, &input, &output);
        benchmark::DoNotOptimize(output.m_added.data());
    }
}

void BM_PassThroughData(benchmark::State& state) {
    CFakeDataQueue input(state.range(0) ? DataBlock() : std::vector<MfxData>{}), output;
    for (auto _ : state) {
        output.m_added.clear();
        PassThroughData(&input, &output);
        benchmark::DoNotOptimize(output.m_added.data());
    }
}

// The LV2 plug-in's run over one cycle of the same events as MIDI atoms,
// against a plug-in that copies them.
void BM_Lv2Run(benchmark::State& state) {
    CLv2TestHost host(true, kLv2CycleRoom);
    WriteEventCycle(host);
    for (auto _ : state) {
        host.Out().atom.size = host.Room() - 8;
        host.Plugin().Run(kBlock);
        benchmark::DoNotOptimize(host.Out().atom.size);
    }
}

void BM_Lv2PassThrough(benchmark::State& state) {
    CLv2TestHost host(true, kLv2CycleRoom);
    WriteEventCycle(host);
    for (auto _ : state) {
        host.Out().atom.size = host.Room() - 8;
        PassThroughAtoms(&host.In(), &host.Out());
        benchmark::DoNotOptimize(host.Out().atom.size);
    }
}

// Arg 1: a 4096-record block; arg 0: an empty block (the cost of one call).
// The fastest of several repetitions: the work is deterministic, and what
// slows a repetition down is the machine, not the code.
#define VELTRACE_BENCH(function) BENCHMARK(function)->Arg(1)->Arg(0)->Repetitions(9)->MinTime(0.05)
VELTRACE_BENCH(BM_OnEvents);
VELTRACE_BENCH(BM_PassThroughEvents);
VELTRACE_BENCH(BM_OnInput);
VELTRACE_BENCH(BM_PassThroughData);
BENCHMARK(BM_Lv2Run)->Repetitions(9)->MinTime(0.05);
BENCHMARK(BM_Lv2PassThrough)->Repetitions(9)->MinTime(0.05);

// Prints the aggregates and keeps each benchmark's fastest repetition.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    CRatioReporter() : ConsoleReporter(OO_None) {}  // no colours: the ratio lines are read by scripts
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> aggregates;
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate) {
                aggregates.push_back(run);
                continue;
            }
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            const double nanoseconds = run.GetAdjustedRealTime();
            const auto known = m_nanoseconds.find(name);
            if (known == m_nanoseconds.end() || nanoseconds < known->second) m_nanoseconds[name] = nanoseconds;
        }
        ConsoleReporter::ReportRuns(aggregates);
    }
    double Ratio(const std::string& name, const std::string& baseline) const {
        const auto a = m_nanoseconds.find(name), b = m_nanoseconds.find(baseline);
        if (a == m_nanoseconds.end() || b == m_nanoseconds.end() || b->second <= 0) return -1.0;
        return a->second / b->second;
    }

private:
    std::map<std::string, double> m_nanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("ratio_oninput_to_passthrough=%.3f\n", reporter.Ratio("BM_OnInput/1", "BM_PassThroughData/1"));
    std::printf("ratio_lv2_run_to_passthrough=%.3f\n", reporter.Ratio("BM_Lv2Run/", "BM_Lv2PassThrough/"));
    std::printf("ratio_empty_onevents_to_passthrough=%.3f\n",
                reporter.Ratio("BM_OnEvents/0", "BM_PassThroughEvents/0"));
    std::printf("ratio_onevents_to_passthrough=%.3f\n", reporter.Ratio("BM_OnEvents/1", "BM_PassThroughEvents/1"));
    return 0;
}
