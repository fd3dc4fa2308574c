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
#include "image/ImageSaver.h"
#include "image/PhotoMetadata.h"

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

// A small photo behind many empty APP1 segments, as hostile files carry them: the load reads
// each segment once, so four times the segments must take about four times as long (the
// reading once kept every segment in a list walked to its end for each new one).
QString PhotoBehindEmptySegments(int count) {
    const QString folder = QDir::tempPath();
    const QString plain = folder + QStringLiteral("/kelvo-bench-segments-plain.JPG");
    TBitmap32 picture;
    picture.SetSize(64, 48);
    picture.Clear(0x00808040u);
    WriteImageFile(plain, picture, 90);
    QFile in(plain);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    QByteArray segments;
    for (int i = 0; i < count; ++i)
        segments += QByteArray("\xFF\xE1\x00\x02", 4);
    const QString name = folder + QStringLiteral("/kelvo-bench-segments-%1.jpg").arg(count);
    QFile out(name);
    out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    out.write(bytes.left(2) + segments + bytes.mid(2));
    return name;
}

void LoadBehindEmptySegments(benchmark::State& state, int count) {
    const QString name = PhotoBehindEmptySegments(count);
    TBitmap32 image;
    for (auto _ : state) {
        // With the metadata, as the window and the command line load photos.
        const TKeptMetadata kept = LoadPhotoFromFile(name, image, false);
        benchmark::DoNotOptimize(kept.Source.get());
    }
    QFile::remove(name);
}

void BM_LoadBehind48000EmptySegments(benchmark::State& state) {
    LoadBehindEmptySegments(state, 48000);
}
BENCHMARK(BM_LoadBehind48000EmptySegments)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadBehind12000EmptySegments(benchmark::State& state) {
    LoadBehindEmptySegments(state, 12000);
}
BENCHMARK(BM_LoadBehind12000EmptySegments)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_LoadBehind48000EmptySegments", "BM_LoadBehind12000EmptySegments", 5.0);

}  // namespace
