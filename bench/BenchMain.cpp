#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "BenchRatios.h"

std::vector<BenchRatio>& BenchRatios() {
    static std::vector<BenchRatio> ratios;
    return ratios;
}

namespace {

// Prints as usual and remembers each benchmark's real time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    // The window benchmarks need an application object; without a display they draw offscreen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-36s %-28s %8s %8s\n", "operation", "baseline", "ratio", "target");
    for (const BenchRatio& ratio : BenchRatios()) {
        const auto a = reporter.times.find(ratio.name);
        const auto b = reporter.times.find(ratio.baseline);
        if (a == reporter.times.end() || b == reporter.times.end() || b->second <= 0) continue;
        const double value = a->second / b->second;
        std::printf("%-36s %-28s %8.2f %8.2f%s\n", ratio.name.c_str(), ratio.baseline.c_str(),
                    value, ratio.target, value <= ratio.target ? "" : "  (over target)");
    }
    benchmark::Shutdown();
    return 0;
}
