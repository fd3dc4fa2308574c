// The raster and its lossless transforms on a 6000 x 4000 image (96 MB), each against a memcpy
// of the same bytes: warm for work that reuses memory, fresh for work that needs a new store.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "image/QuarterTurns.h"
#include "transform/Resample.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const TBitmap32& Photo() {
    static TBitmap32 photo = [] {
        TBitmap32 raster;
        raster.SetSize(kWidth, kHeight);
        std::mt19937 random(7);
        for (std::size_t i = 0; i < raster.PixelCount(); ++i)
            raster.Bits()[i] = random();
        return raster;
    }();
    return photo;
}

void BM_MemcpyWarm(benchmark::State& state) {
    const TBitmap32& source = Photo();
    std::vector<TColor32> target(source.PixelCount());
    for (auto _ : state) {
        std::memcpy(target.data(), source.Bits(), source.ByteCount());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_MemcpyWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

// A fresh destination pays for its page faults, as every new raster store does.
void MemcpyFresh(benchmark::State& state, std::size_t bytes) {
    const TBitmap32& source = Photo();
    for (auto _ : state) {
        auto* target = static_cast<char*>(std::calloc(bytes, 1));
        for (std::size_t done = 0; done < bytes; done += source.ByteCount())
            std::memcpy(target + done, source.Bits(), std::min(source.ByteCount(), bytes - done));
        benchmark::DoNotOptimize(target);
        std::free(target);
    }
}
void BM_MemcpyFresh(benchmark::State& state) {
    MemcpyFresh(state, Photo().ByteCount());
}
BENCHMARK(BM_MemcpyFresh)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_MemcpyFreshDoubled(benchmark::State& state) {
    MemcpyFresh(state, Photo().ByteCount() * 4);
}
BENCHMARK(BM_MemcpyFreshDoubled)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AssignSameSize(benchmark::State& state) {
    TBitmap32 target;
    target.Assign(Photo());  // touched once, so the loop measures warm memory
    for (auto _ : state)
        target.Assign(Photo());
}
BENCHMARK(BM_AssignSameSize)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_AssignSameSize", "BM_MemcpyWarm", 1.3);

void BM_Clear(benchmark::State& state) {
    TBitmap32 target;
    target.Assign(Photo());  // touched once, so the loop measures warm memory
    for (auto _ : state)
        target.Clear(0xFF7F7F7F);
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Clear", "BM_MemcpyWarm", 1.3);

void BM_TurnClockwise(benchmark::State& state) {
    TBitmap32 raster;
    raster.Assign(Photo());
    for (auto _ : state)
        raster.TurnClockwise();
}
BENCHMARK(BM_TurnClockwise)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_TurnClockwise", "BM_MemcpyFresh", 1.5);

void BM_TurnCounterClockwise(benchmark::State& state) {
    TBitmap32 raster;
    raster.Assign(Photo());
    for (auto _ : state)
        raster.TurnCounterClockwise();
}
BENCHMARK(BM_TurnCounterClockwise)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_TurnCounterClockwise", "BM_MemcpyFresh", 1.5);

void BM_RotateClockwiseKernel(benchmark::State& state) {
    std::vector<TColor32> target(Photo().PixelCount());
    for (auto _ : state) {
        RotateClockwise(Photo().Bits(), kWidth, kHeight, target.data());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_RotateClockwiseKernel)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_RotateClockwiseKernel", "BM_MemcpyWarm", 3.0);

void BM_RotateCounterClockwiseKernel(benchmark::State& state) {
    std::vector<TColor32> target(Photo().PixelCount());
    for (auto _ : state) {
        RotateCounterClockwise(Photo().Bits(), kWidth, kHeight, target.data());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_RotateCounterClockwiseKernel)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_RotateCounterClockwiseKernel", "BM_MemcpyWarm", 3.0);

void BM_Flip(benchmark::State& state) {
    TBitmap32 target;
    target.Assign(Photo());  // touched once, so the loop measures warm memory
    for (auto _ : state)
        FlipVertical(Photo(), target);
}
BENCHMARK(BM_Flip)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Flip", "BM_MemcpyWarm", 2.0);

void BM_Mirror(benchmark::State& state) {
    TBitmap32 target;
    target.Assign(Photo());  // touched once, so the loop measures warm memory
    for (auto _ : state)
        MirrorHorizontal(Photo(), target);
}
BENCHMARK(BM_Mirror)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Mirror", "BM_MemcpyWarm", 2.0);

// "X2" always needs a new store four times the size.
void BM_Double(benchmark::State& state) {
    for (auto _ : state) {
        TBitmap32 target;
        DoubleImage(Photo(), target);
        benchmark::DoNotOptimize(target.Bits());
    }
}
BENCHMARK(BM_Double)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Double", "BM_MemcpyFreshDoubled", 1.5);

void BM_Half(benchmark::State& state) {
    TBitmap32 target;
    ReduceImage(Photo(), 2, target);
    for (auto _ : state)
        ReduceImage(Photo(), 2, target);
}
BENCHMARK(BM_Half)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Half", "BM_MemcpyWarm", 1.5);

void BM_Quarter(benchmark::State& state) {
    TBitmap32 target;
    ReduceImage(Photo(), 4, target);
    for (auto _ : state)
        ReduceImage(Photo(), 4, target);
}
BENCHMARK(BM_Quarter)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Quarter", "BM_MemcpyWarm", 1.5);

}  // namespace
