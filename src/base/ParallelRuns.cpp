#include "base/ParallelRuns.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace {

int Workers() {
    static const int workers = [] {
        if (const char* forced = std::getenv("KELVO_THREADS")) {
            char* end = nullptr;
            const long value = std::strtol(forced, &end, 10);
            if (end != forced && *end == '\0' && value >= 1 && value <= 64) return int(value);
        }
        const unsigned cores = std::thread::hardware_concurrency();
        return cores == 0 ? 1 : int(std::min(cores, 64u));
    }();
    return workers;
}

std::atomic<int> gWorkerLimit{64};

}  // namespace

int ParallelRunCount(std::size_t count, std::size_t minimumPerRun) {
    const std::size_t bySize = minimumPerRun == 0 ? count : count / minimumPerRun;
    const int workers = std::min(Workers(), gWorkerLimit.load(std::memory_order_relaxed));
    return int(std::clamp<std::size_t>(bySize, 1, std::size_t(workers)));
}

void LimitParallelRuns(int workers) {
    gWorkerLimit.store(std::max(1, workers), std::memory_order_relaxed);
}

void ForEachRun(std::size_t count, int runs, std::size_t alignment,
                const std::function<void(std::size_t, std::size_t, int)>& work) {
    if (runs <= 1 || count == 0) {
        work(0, count, 0);
        return;
    }
    if (alignment == 0) alignment = 1;
    std::size_t length = (count + std::size_t(runs) - 1) / std::size_t(runs);
    length = (length + alignment - 1) / alignment * alignment;
    const auto runBegin = [&](int run) { return std::min(count, std::size_t(run) * length); };

    std::vector<std::thread> threads;
    threads.reserve(std::size_t(runs - 1));
    int started = 1;
    for (; started < runs; ++started) {
        const std::size_t begin = runBegin(started);
        const std::size_t end = runBegin(started + 1);
        if (begin >= end) break;
        try {
            threads.emplace_back(work, begin, end, started);
        } catch (const std::system_error&) {
            break;  // out of threads: the rest is done here
        }
    }
    work(0, runBegin(1), 0);
    for (int run = started; run < runs; ++run) {
        const std::size_t begin = runBegin(run);
        const std::size_t end = runBegin(run + 1);
        if (begin < end) work(begin, end, run);
    }
    for (std::thread& thread : threads)
        thread.join();
}
