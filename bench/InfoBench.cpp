// The extended information report of a 24-megapixel camera JPEG against Exiv2 reading the same
// file's tags bare. The report must cost little above the reading: it never decodes the
// picture, and the formatting of a few dozen lines is small beside parsing the file.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <string>
#include <vector>

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "info/PropertyReport.h"

namespace {

// The benchmark photo with the tags a camera writes: the first directory, the EXIF directory
// with a maker note and a user comment, and a GPS directory.
QString CameraPhotoFile() {
    static QTemporaryDir dir;
    static const QString name = [] {
        const QString path = dir.filePath("camera.jpg");
        QFile::copy(BenchPhotoFile(), path);
        Exiv2::ExifData data;
        data["Exif.Image.Make"] = "KelvoCam";
        data["Exif.Image.Model"] = "KelvoCam 24";
        data["Exif.Image.Orientation"] = uint16_t(1);
        data["Exif.Image.XResolution"] = Exiv2::URational(300, 1);
        data["Exif.Image.YResolution"] = Exiv2::URational(300, 1);
        data["Exif.Image.ResolutionUnit"] = uint16_t(2);
        data["Exif.Image.Software"] = "Firmware 1.0.2";
        data["Exif.Image.DateTime"] = "2026:12:10 12:00:00";
        data["Exif.Image.Artist"] = "Someone";
        data["Exif.Image.Copyright"] = "Someone, all rights reserved";
        data["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
        data["Exif.Photo.FNumber"] = Exiv2::URational(56, 10);
        data["Exif.Photo.ExposureProgram"] = uint16_t(2);
        data["Exif.Photo.ISOSpeedRatings"] = uint16_t(400);
        data["Exif.Photo.DateTimeOriginal"] = "2026:12:10 11:59:58";
        data["Exif.Photo.DateTimeDigitized"] = "2026:12:10 11:59:58";
        data["Exif.Photo.ExposureBiasValue"] = Exiv2::Rational(-1, 3);
        data["Exif.Photo.MaxApertureValue"] = Exiv2::URational(30, 10);
        data["Exif.Photo.SubjectDistance"] = Exiv2::URational(35, 10);
        data["Exif.Photo.MeteringMode"] = uint16_t(5);
        data["Exif.Photo.LightSource"] = uint16_t(1);
        data["Exif.Photo.Flash"] = uint16_t(16);
        data["Exif.Photo.FocalLength"] = Exiv2::URational(350, 10);
        data["Exif.Photo.PixelXDimension"] = uint32_t(kBenchPhotoWidth);
        data["Exif.Photo.PixelYDimension"] = uint32_t(kBenchPhotoHeight);
        data["Exif.Photo.WhiteBalance"] = uint16_t(0);
        data["Exif.Photo.SceneCaptureType"] = uint16_t(0);
        Exiv2::DataValue makerNote(Exiv2::undefined);
        const std::vector<Exiv2::byte> note(8000, 0x5A);
        makerNote.read(note.data(), long(note.size()));
        data.add(Exiv2::ExifKey("Exif.Photo.MakerNote"), &makerNote);
        data["Exif.Photo.UserComment"] = "charset=Ascii A day out";
        data["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        data["Exif.GPSInfo.GPSLongitudeRef"] = "E";
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->setExifData(data);
        image->writeMetadata();
        return path;
    }();
    return name;
}

void BM_PropertyReport(benchmark::State& state) {
    const QString name = CameraPhotoFile();
    for (auto _ : state) {
        const QString report = ReadPropertyReport(name);
        benchmark::DoNotOptimize(report.constData());
    }
}
BENCHMARK(BM_PropertyReport)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Opening the file and reading its tags, each item's value touched once.
void BM_BareExiv2Read(benchmark::State& state) {
    const std::string name = QFile::encodeName(CameraPhotoFile()).toStdString();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    for (auto _ : state) {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(name);
        image->readMetadata();
        long bytes = 0;
        for (const Exiv2::Exifdatum& datum : image->exifData())
            bytes += datum.size();
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_BareExiv2Read)->Unit(benchmark::kMicrosecond)->UseRealTime();

KELVO_RATIO("BM_PropertyReport", "BM_BareExiv2Read", 1.2);

}  // namespace
