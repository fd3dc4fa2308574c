// A 24-megapixel HEIC against libheif's own decode of the same file into a buffer, and a camera
// RAW's 24-megapixel JPEG preview against loading the same JPEG from a file of its own: the
// loader's overhead on the formats phones and cameras write.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "../tests/support/CameraFormats.h"
#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"

namespace {

QTemporaryDir& Folder() {
    static QTemporaryDir dir;
    return dir;
}

// The benchmark photo as a HEIC; empty when libheif has no HEVC encoder here.
const QString& HeicFile() {
    static const QString name = [] {
        TBitmap32 photo;
        LoadImageFromFile(BenchPhotoFile(), photo);
        const QString path = Folder().filePath(QStringLiteral("photo.heic"));
        return camera_formats::WriteHeif(path, photo, heif_compression_HEVC) ? QString() : path;
    }();
    return name;
}

// The benchmark photo's JPEG as the preview of a DNG-like camera file.
const QString& RawFile() {
    static const QString name = [] {
        QFile jpeg(BenchPhotoFile());
        jpeg.open(QIODevice::ReadOnly);
        const QString path = Folder().filePath(QStringLiteral("photo.dng"));
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(camera_formats::DngLikeFile(jpeg.readAll(), kBenchPhotoWidth,
                                              kBenchPhotoHeight, 1));
        return path;
    }();
    return name;
}

void BM_LoadHeic(benchmark::State& state) {
    if (HeicFile().isEmpty()) return state.SkipWithError("libheif has no HEVC encoder here");
    TBitmap32 image;
    for (auto _ : state) {
        LoadImageFromFile(HeicFile(), image);
        benchmark::DoNotOptimize(image.Bits());
    }
}
BENCHMARK(BM_LoadHeic)->Unit(benchmark::kMillisecond)->UseRealTime();

// libheif alone: the file read into memory, its primary picture decoded to interleaved RGB.
void BM_PlainLibheifDecode(benchmark::State& state) {
    if (HeicFile().isEmpty()) return state.SkipWithError("libheif has no HEVC encoder here");
    for (auto _ : state) {
        QFile file(HeicFile());
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        heif_context* context = heif_context_alloc();
        heif_context_read_from_memory_without_copy(context, bytes.constData(),
                                                   std::size_t(bytes.size()), nullptr);
        heif_image_handle* handle = nullptr;
        heif_context_get_primary_image_handle(context, &handle);
        heif_image* image = nullptr;
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          nullptr);
        int stride = 0;
        benchmark::DoNotOptimize(
            heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride));
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
}
BENCHMARK(BM_PlainLibheifDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_LoadHeic", "BM_PlainLibheifDecode", 1.1);

void BM_LoadRawPreview(benchmark::State& state) {
    TBitmap32 image;
    for (auto _ : state) {
        LoadImageFromFile(RawFile(), image);
        benchmark::DoNotOptimize(image.Bits());
    }
}
BENCHMARK(BM_LoadRawPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same JPEG, extracted to a file of its own.
void BM_LoadPreviewJpeg(benchmark::State& state) {
    TBitmap32 image;
    for (auto _ : state) {
        LoadImageFromFile(BenchPhotoFile(), image);
        benchmark::DoNotOptimize(image.Bits());
    }
}
BENCHMARK(BM_LoadPreviewJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_LoadRawPreview", "BM_LoadPreviewJpeg", 1.2);

}  // namespace
