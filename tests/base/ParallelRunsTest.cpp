#include "base/ParallelRuns.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

TEST(ParallelRuns, RunsCoverEveryItemOnceInAlignedPieces) {
    struct Case {
        std::size_t count;
        int runs;
        std::size_t alignment;
    };
    for (const Case c : {Case{0, 4, 16}, Case{1, 4, 16}, Case{17, 2, 16}, Case{1000, 3, 16},
                         Case{1000, 7, 1}, Case{64, 8, 16}, Case{100003, 2, 0}}) {
        std::vector<int> seen(c.count, 0);
        std::vector<int> runsSeen;
        std::mutex guard;
        ForEachRun(c.count, c.runs, c.alignment, [&](std::size_t begin, std::size_t end, int run) {
            const std::lock_guard<std::mutex> lock(guard);
            runsSeen.push_back(run);
            EXPECT_LE(begin, end);
            EXPECT_LE(end, c.count);
            if (c.alignment > 1 && end != c.count) EXPECT_EQ(end % c.alignment, 0u);
            for (std::size_t i = begin; i < end; ++i)
                ++seen[i];
        });
        EXPECT_EQ(seen, std::vector<int>(c.count, 1)) << c.count << " in " << c.runs;
        for (const int run : runsSeen) {
            EXPECT_GE(run, 0);
            EXPECT_LT(run, std::max(c.runs, 1));
        }
    }
}

TEST(ParallelRuns, ShortJobsStayInOneRun) {
    EXPECT_EQ(ParallelRunCount(0, 1000), 1);
    EXPECT_EQ(ParallelRunCount(1999, 1000), 1);
    EXPECT_GE(ParallelRunCount(1 << 30, 1000), 1);
    EXPECT_LE(ParallelRunCount(3000, 1000), 3);
}

}  // namespace
