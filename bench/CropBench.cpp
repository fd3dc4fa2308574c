// The crop of a released selection: 6000 x 4000 to 4000 x 3000, held against one warm copy of
// the result's bytes. A crop into a raster of the same size keeps its store, as a second crop
// of the same size does in the window.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "transform/Crop.h"

namespace {

const TBitmap32& Photo() {
    static TBitmap32 photo;
    static const bool filled = [] {
        photo.SetSize(6000, 4000);
        std::mt19937 random(5);
        for (std::size_t i = 0; i < photo.PixelCount(); ++i)
            photo.Bits()[i] = random();
        return true;
    }();
    (void)filled;
    return photo;
}

constexpr TSelection kSelection{1000, 500, 5000, 3500};

void BM_CropMemcpyWarm(benchmark::State& state) {
    const std::size_t bytes = std::size_t(kSelection.Width()) * kSelection.Height() * 4;
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
}
BENCHMARK(BM_CropMemcpyWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Crop6000x4000To4000x3000(benchmark::State& state) {
    const TBitmap32& photo = Photo();
    TBitmap32 target;
    CropImage(photo, kSelection, target);
    for (auto _ : state) {
        CropImage(photo, kSelection, target);
        benchmark::DoNotOptimize(target.Bits());
    }
}
BENCHMARK(BM_Crop6000x4000To4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Crop6000x4000To4000x3000", "BM_CropMemcpyWarm", 1.5);

}  // namespace
