// One hot-spot run on a 6000 x 4000 target with a hot-spot image of the same size (96 MB
// each): the factor grid, its smoothing with 5 x 5 blocks and the correction, against a warm
// memcpy of one raster. The plain run (no smoothing) is the two-file start.

#include <benchmark/benchmark.h>

#include <random>

#include "BenchRatios.h"
#include "hotspot/HotSpotRemoval.h"
#include "image/Bitmap32.h"

namespace {

TBitmap32 RandomRaster(unsigned seed) {
    TBitmap32 raster;
    raster.SetSize(6000, 4000);
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < raster.PixelCount(); ++i)
        raster.Bits()[i] = random();
    return raster;
}

// The hot-spot image arrives in a fresh raster, as from the loader, and the grid takes it
// over; making that copy is not timed.
void HotSpotRun(benchmark::State& state, int smoothing) {
    static const TBitmap32 hotSpot = RandomRaster(31);
    TBitmap32 target = RandomRaster(32);  // corrected over and over: the work does not change
    for (auto _ : state) {
        state.PauseTiming();
        TBitmap32 loaded;
        loaded.Assign(hotSpot);
        state.ResumeTiming();
        THotSpotMask mask(std::move(loaded), 12.5, 0.9);
        mask.SmoothMask(smoothing);
        mask.Apply(target);
        benchmark::DoNotOptimize(target.Bits());
    }
}
void BM_HotSpotSmoothing5(benchmark::State& state) {
    HotSpotRun(state, 5);
}
void BM_HotSpotPlain(benchmark::State& state) {
    HotSpotRun(state, 1);
}
BENCHMARK(BM_HotSpotSmoothing5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HotSpotPlain)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_HotSpotSmoothing5", "BM_MemcpyWarm", 6.0);
KELVO_RATIO("BM_HotSpotPlain", "BM_MemcpyWarm", 6.0);

}  // namespace
