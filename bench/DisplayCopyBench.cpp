// The smooth view of a fitted photo: the reduction of a 24-megapixel raster to 1280 x 853 (the box
// alone, and the box to twice that size followed by the triangle, which the view shows), against
// one warm copy of the raster's bytes (the least any pass over it costs), and the colour
// conversion of the reduced copy for a picture with an embedded profile. The smooth reduction is
// also the time from the first paint to the smooth one.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "support/WideGamutProfile.h"
#include "view/DisplayCopy.h"

namespace {

const TBitmap32& Photo() {
    static TBitmap32 photo;
    static const bool filled = [] {
        photo.SetSize(6000, 4000);
        std::mt19937 random(9);
        for (std::size_t i = 0; i < photo.PixelCount(); ++i)
            photo.Bits()[i] = random();
        return true;
    }();
    (void)filled;
    return photo;
}

void BM_RasterMemcpyWarm(benchmark::State& state) {
    const std::size_t bytes = Photo().ByteCount();
    std::vector<char> to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), Photo().Bits(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
}
BENCHMARK(BM_RasterMemcpyWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BoxReduce6000x4000To1280x853(benchmark::State& state) {
    for (auto _ : state) {
        const QImage reduced = BoxReduce(Photo(), 1280, 853);
        benchmark::DoNotOptimize(reduced.constBits());
    }
}
BENCHMARK(BM_BoxReduce6000x4000To1280x853)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_BoxReduce6000x4000To1280x853", "BM_RasterMemcpyWarm", 1.5);

// What the view shows: the box to twice the screen's size, then the triangle.
void BM_SmoothReduce6000x4000To1280x853(benchmark::State& state) {
    for (auto _ : state) {
        const QImage reduced = SmoothReduce(Photo(), 1280, 853);
        benchmark::DoNotOptimize(reduced.constBits());
    }
}
BENCHMARK(BM_SmoothReduce6000x4000To1280x853)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_SmoothReduce6000x4000To1280x853", "BM_RasterMemcpyWarm", 1.5);

void BM_DisplayColorOfTheFittedCopy(benchmark::State& state) {
    const QByteArray profile = WideGamutProfile();
    const auto color = TDisplayColor::ForProfile(profile);
    const QImage reduced = SmoothReduce(Photo(), 1280, 853);
    for (auto _ : state) {
        QImage copy = reduced.copy();
        color->Convert(copy);
        benchmark::DoNotOptimize(copy.constBits());
    }
}
BENCHMARK(BM_DisplayColorOfTheFittedCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
