// Decoding a 24-megapixel photograph: the loader against a bare libjpeg-turbo decode of the same
// file into a preallocated buffer. The loader's cost above the bare decode is its own overhead.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"

namespace {

constexpr int kWidth = kBenchPhotoWidth;
constexpr int kHeight = kBenchPhotoHeight;

QString PhotoFile() {
    return BenchPhotoFile();
}

void BM_LoadImageFromFile(benchmark::State& state) {
    const QString name = PhotoFile();
    TBitmap32 image;
    LoadImageFromFile(name, image);  // warm: the raster's store is reused from here on
    for (auto _ : state) {
        LoadImageFromFile(name, image);
        benchmark::DoNotOptimize(image.Bits());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_LoadImageFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainLibjpegDecode(benchmark::State& state) {
    const QByteArray name = QFile::encodeName(PhotoFile());
    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
    for (auto _ : state) {
        std::FILE* file = std::fopen(name.constData(), "rb");
        jpeg_decompress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[1] = {
                reinterpret_cast<JSAMPROW>(&pixels[std::size_t(info.output_scanline) * kWidth])};
            jpeg_read_scanlines(&info, rows, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_PlainLibjpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_LoadImageFromFile", "BM_PlainLibjpegDecode", 1.1);

}  // namespace
