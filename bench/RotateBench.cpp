// One re-apply of the rotation slider on a 6000 x 4000 image (96 MB) into the reused current
// image, against a warm memcpy of the same bytes: the slider stays fluid only while a re-apply
// costs a few copies. 15 degrees is a typical straightening; 90 degrees walks the source
// column-wise, the worst case for the caches.

#include <benchmark/benchmark.h>

#include <random>

#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "transform/AffineTransform.h"

namespace {

const TBitmap32& RotationSource() {
    static TBitmap32 source = [] {
        TBitmap32 raster;
        raster.SetSize(6000, 4000);
        std::mt19937 random(17);
        for (std::size_t i = 0; i < raster.PixelCount(); ++i)
            raster.Bits()[i] = random();
        return raster;
    }();
    return source;
}

void RotateReapply(benchmark::State& state, double degrees) {
    const TBitmap32& source = RotationSource();
    TBitmap32 target;
    RotateImage(source, degrees, target);  // the store is warm from here on
    for (auto _ : state) {
        RotateImage(source, degrees, target);
        benchmark::DoNotOptimize(target.Bits());
    }
}
void BM_Rotate15(benchmark::State& state) {
    RotateReapply(state, 15);
}
void BM_Rotate45(benchmark::State& state) {
    RotateReapply(state, 45);
}
void BM_Rotate90(benchmark::State& state) {
    RotateReapply(state, 90);
}
BENCHMARK(BM_Rotate15)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate45)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Rotate15", "BM_MemcpyWarm", 4.0);
KELVO_RATIO("BM_Rotate45", "BM_MemcpyWarm", 4.0);
KELVO_RATIO("BM_Rotate90", "BM_MemcpyWarm", 4.0);

}  // namespace
