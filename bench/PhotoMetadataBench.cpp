// Camera photographs: a 24-megapixel JPEG stored sideways (EXIF orientation 6) loaded upright
// against the same file loaded as stored, and a JPEG save carrying the camera's tags against one
// writing pixels only.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <exiv2/exiv2.hpp>

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "base/AtomicFile.h"
#include "image/ImageLoader.h"
#include "image/JpegEncoder.h"
#include "image/PhotoMetadata.h"

namespace {

// The bench photo with the tags a camera writes, orientation 6 among them; made once.
QString SidewaysPhotoFile() {
    static const QString name = [] {
        const QString copy = QDir::tempPath() + QStringLiteral("/kelvo-bench-sideways.jpg");
        QFile::remove(copy);
        QFile::copy(BenchPhotoFile(), copy);
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(QFile::encodeName(copy).toStdString());
        image->readMetadata();
        Exiv2::ExifData exif;
        exif["Exif.Image.Make"] = "Kelvo Optics";
        exif["Exif.Image.Model"] = "K-1 Bench";
        exif["Exif.Image.Orientation"] = std::uint16_t(6);
        exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
        exif["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
        exif["Exif.Photo.PixelXDimension"] = std::uint32_t(kBenchPhotoWidth);
        exif["Exif.Photo.PixelYDimension"] = std::uint32_t(kBenchPhotoHeight);
        image->setExifData(exif);
        Exiv2::XmpData xmp;
        xmp["Xmp.tiff.Orientation"] = "6";
        xmp["Xmp.dc.title"] = "lang=\"x-default\" Bench";
        image->setXmpData(xmp);
        image->writeMetadata();
        return copy;
    }();
    return name;
}

void LoadPhoto(benchmark::State& state, bool upright) {
    const QString name = SidewaysPhotoFile();
    TBitmap32 image;
    for (auto _ : state) {
        LoadPhotoFromFile(name, image, upright);
        benchmark::DoNotOptimize(image.Bits());
    }
}
void BM_LoadPhotoUpright(benchmark::State& state) {
    LoadPhoto(state, true);
}
void BM_LoadPhotoAsStored(benchmark::State& state) {
    LoadPhoto(state, false);
}
BENCHMARK(BM_LoadPhotoUpright)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPhotoAsStored)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_LoadPhotoUpright", "BM_LoadPhotoAsStored", 1.2);

// The tags are composed for every save, as the save command does; the file is never committed,
// so no sync of the disk weighs on either side.
void SavePhoto(benchmark::State& state, bool withTags) {
    static TBitmap32 image;
    static const TKeptMetadata kept = LoadPhotoFromFile(SidewaysPhotoFile(), image, true);
    const QString target = QDir::tempPath() + QStringLiteral("/kelvo-bench-tags.JPG");
    for (auto _ : state) {
        TAtomicFile file(target);
        EncodeJpeg(file, image, 95,
                   withTags ? kept.Source->MarkersForSave(image.Width(), image.Height(), true)
                            : std::vector<TJpegMarker>());
    }
}
void BM_SaveJpegWithTags(benchmark::State& state) {
    SavePhoto(state, true);
}
void BM_SaveJpegPixelsOnly(benchmark::State& state) {
    SavePhoto(state, false);
}
BENCHMARK(BM_SaveJpegWithTags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveJpegPixelsOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_SaveJpegWithTags", "BM_SaveJpegPixelsOnly", 1.05);

}  // namespace
