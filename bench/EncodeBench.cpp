// JPEG encoding of a 6000x4000 raster: our path hands libjpeg-turbo the B,G,R,A rows as they
// are, the usual path first converts the picture to packed R,G,B. Both write to a file in the
// system's temporary folder through stdio, and neither syncs.

#include <benchmark/benchmark.h>

#include <jpeglib.h>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <vector>

#include "BenchRatios.h"
#include "base/AtomicFile.h"
#include "image/JpegEncoder.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth colour with a little grain, so the entropy coder does photograph-like work.
const TBitmap32& Photo() {
    static TBitmap32 image = [] {
        TBitmap32 picture;
        picture.SetSize(kWidth, kHeight);
        std::uint32_t seed = 1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const TColor32 grain = (seed >> 28) & 7;
                picture.SetPixel(x, y,
                                 0xFF000000u | ((x * 255 / kWidth + grain) & 0xFF) << 16 |
                                     ((y * 255 / kHeight + grain) & 0xFF) << 8 |
                                     (((x + y) / 40 + grain) & 0xFF));
            }
        return picture;
    }();
    return image;
}

QString TargetName() {
    return QDir::tempPath() + QStringLiteral("/kelvo-encode-bench.JPG");
}

void BM_EncodeJpegFromRaster(benchmark::State& state) {
    const TBitmap32& image = Photo();
    for (auto _ : state) {
        TAtomicFile file(TargetName());  // never committed: the temporary is removed
        EncodeJpeg(file, image, 95);
    }
}
BENCHMARK(BM_EncodeJpegFromRaster)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeJpegViaRgbCopy(benchmark::State& state) {
    const TBitmap32& image = Photo();
    const QByteArray path = QFile::encodeName(TargetName());
    std::vector<JSAMPLE> rgb(std::size_t(kWidth) * kHeight * 3);  // reused: only the pass counts
    for (auto _ : state) {
        for (std::size_t i = 0; i < image.PixelCount(); ++i) {
            const TColor32 c = image.Bits()[i];
            rgb[3 * i] = JSAMPLE(c >> 16);
            rgb[3 * i + 1] = JSAMPLE(c >> 8);
            rgb[3 * i + 2] = JSAMPLE(c);
        }
        std::FILE* stream = std::fopen(path.constData(), "wb");
        jpeg_compress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, stream);
        info.image_width = kWidth;
        info.image_height = kHeight;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 95, TRUE);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = &rgb[std::size_t(info.next_scanline) * kWidth * 3];
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::fclose(stream);
        std::remove(path.constData());
    }
}
BENCHMARK(BM_EncodeJpegViaRgbCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_EncodeJpegFromRaster", "BM_EncodeJpegViaRgbCopy", 1.0);

}  // namespace
