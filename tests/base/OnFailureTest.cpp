#include "base/OnFailure.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(OnFailure, RunsOnlyWhenItsOwnScopeIsLeftByAnException) {
    int runs = 0;
    {
        const TOnFailure guard([&runs] { ++runs; });
    }
    EXPECT_EQ(runs, 0) << "a scope that ends normally";

    EXPECT_THROW(
        {
            const TOnFailure guard([&runs] { ++runs; });
            throw std::runtime_error("failed");
        },
        std::runtime_error);
    EXPECT_EQ(runs, 1);

    // A guard made while another exception unwinds (in a destructor) counts only a new one.
    struct TCleanup {
        int& Runs;
        bool Fail;
        ~TCleanup() {
            try {
                const TOnFailure guard([this] { ++Runs; });
                if (Fail) throw std::logic_error("cleanup failed");
            } catch (const std::logic_error&) {
            }
        }
    };
    for (const bool fail : {false, true}) {
        runs = 0;
        const auto unwind = [&runs, fail] {
            const TCleanup cleanup{runs, fail};
            throw std::runtime_error("failed");
        };
        EXPECT_THROW(unwind(), std::runtime_error);
        EXPECT_EQ(runs, fail ? 1 : 0) << (fail ? "the cleanup failed" : "the cleanup succeeded");
    }
}

}  // namespace
