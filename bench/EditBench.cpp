// The pixel work of the editing commands on a 6000 x 4000 image (96 MB): "Flip" and "Mirror"
// are the snapshot copy plus one pass from the snapshot, so they are held against two warm
// copies; "&Undo" exchanges stores and must cost next to nothing against one copy.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "image/QuarterTurns.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Current image and snapshot, both touched once so the loops measure warm memory, as on a
// second edit of the same picture.
struct TEditPair {
    TBitmap32 Current;
    TBitmap32 Snapshot;
    TEditPair() {
        Current.SetSize(kWidth, kHeight);
        std::mt19937 random(11);
        for (std::size_t i = 0; i < Current.PixelCount(); ++i)
            Current.Bits()[i] = random();
        Snapshot.Assign(Current);
    }
};

TEditPair& Pair() {
    static TEditPair pair;
    return pair;
}

void BM_EditTwoCopiesWarm(benchmark::State& state) {
    const TBitmap32& source = Pair().Current;
    std::vector<TColor32> first(source.PixelCount());
    std::vector<TColor32> second(source.PixelCount());
    for (auto _ : state) {
        std::memcpy(first.data(), source.Bits(), source.ByteCount());
        std::memcpy(second.data(), first.data(), source.ByteCount());
        benchmark::DoNotOptimize(second.data());
    }
}
BENCHMARK(BM_EditTwoCopiesWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EditFlip(benchmark::State& state) {
    TEditPair& pair = Pair();
    for (auto _ : state) {
        pair.Snapshot.Assign(pair.Current);
        FlipVertical(pair.Snapshot, pair.Current);
        benchmark::DoNotOptimize(pair.Current.Bits());
    }
}
BENCHMARK(BM_EditFlip)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_EditFlip", "BM_EditTwoCopiesWarm", 1.3);

void BM_EditMirror(benchmark::State& state) {
    TEditPair& pair = Pair();
    for (auto _ : state) {
        pair.Snapshot.Assign(pair.Current);
        MirrorHorizontal(pair.Snapshot, pair.Current);
        benchmark::DoNotOptimize(pair.Current.Bits());
    }
}
BENCHMARK(BM_EditMirror)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_EditMirror", "BM_EditTwoCopiesWarm", 1.3);

// "&Undo" followed by "&Undo" again: two exchanges, the pair ends as it began.
void BM_UndoExchangeTwice(benchmark::State& state) {
    TEditPair& pair = Pair();
    for (auto _ : state) {
        pair.Current.Swap(pair.Snapshot);
        pair.Current.Changed();
        pair.Current.Swap(pair.Snapshot);
        pair.Current.Changed();
        benchmark::DoNotOptimize(pair.Current.Bits());
    }
}
BENCHMARK(BM_UndoExchangeTwice)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_UndoExchangeTwice", "BM_MemcpyWarm", 0.01);

}  // namespace
