// Decoding a 24-megapixel photograph: the loader against a bare libjpeg-turbo decode of the same
// file into a preallocated buffer. The loader's cost above the bare decode is its own overhead.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth gradients with fine noise, so the entropy-coded data is as dense as a real photograph's.
QString PhotoFile() {
    static QTemporaryDir dir;
    static const QString name = [] {
        const QString path = dir.filePath("photo.jpg");
        std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
        jpeg_compress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = kWidth;
        info.image_height = kHeight;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 95, TRUE);
        jpeg_start_compress(&info, TRUE);
        std::mt19937 random(7);
        std::vector<JSAMPLE> row(std::size_t(kWidth) * 3);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const int noise = int(random() % 24) - 12;
                const auto clamp = [](int v) { return JSAMPLE(v < 0 ? 0 : v > 255 ? 255 : v); };
                row[std::size_t(x) * 3] = clamp(x * 200 / kWidth + 30 + noise);
                row[std::size_t(x) * 3 + 1] = clamp(y * 180 / kHeight + 40 + noise / 2);
                row[std::size_t(x) * 3 + 2] =
                    clamp((x + y) * 120 / (kWidth + kHeight) + 90 - noise);
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&info, rows, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::fclose(file);
        return path;
    }();
    return name;
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
