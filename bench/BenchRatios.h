#pragma once
// Benchmarks here are judged as ratios to a baseline measured in the same run (a memcpy of
// the same buffer, or a peer library), because the machines are shared and absolute times
// drift. A benchmark declares its baseline and target once; the main prints the ratio table.

#include <string>
#include <vector>

struct BenchRatio {
    std::string name;      // benchmark name as registered
    std::string baseline;  // benchmark it is compared with
    double target;         // the ratio we aim to stay under
};

std::vector<BenchRatio>& BenchRatios();

struct BenchRatioRegistration {
    BenchRatioRegistration(std::string name, std::string baseline, double target) {
        BenchRatios().push_back({std::move(name), std::move(baseline), target});
    }
};

#define KELVO_BENCH_CONCAT2(a, b) a##b
#define KELVO_BENCH_CONCAT(a, b) KELVO_BENCH_CONCAT2(a, b)
#define KELVO_RATIO(name, baseline, target) \
    static BenchRatioRegistration KELVO_BENCH_CONCAT(kelvoRatio, __LINE__)(name, baseline, target)
