#pragma once
// Photographs as cameras write them, made by the tests themselves: our own encoder writes the
// pixels and Exiv2 gives the file what a camera and a photo library put beside them (make,
// model, exposure, an Orientation tag, a maker note, an EXIF thumbnail, XMP and an ICC
// profile). Also a CMYK JPEG written straight with libjpeg, since our encoder writes colour
// only. Every file here is made in the test run; no third-party file is involved.

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "image/Bitmap32.h"
#include "image/ImageSaver.h"
#include "support/PhotoTags.h"

namespace camera_jpeg {

inline TColor32 Rgb(int r, int g, int b) {
    return 0xFF000000u | TColor32(std::clamp(r, 0, 255)) << 16 |
           TColor32(std::clamp(g, 0, 255)) << 8 | TColor32(std::clamp(b, 0, 255));
}

// A scene with what a photograph has: a smooth sky, a bright sun, a horizon that is not
// straight and textured ground, so the encoder has edges and detail to work on and a picture
// shown turned the wrong way differs from the right one.
inline TBitmap32 Scene(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    const int sunX = width / 5;
    const int sunY = height / 5;
    const int sunRadius = std::max(2, std::min(width, height) / 8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int horizon = height * 3 / 5 + ((x * 7 / std::max(1, width / 8)) % 5) - 2;
            TColor32 color;
            if ((x - sunX) * (x - sunX) + (y - sunY) * (y - sunY) <= sunRadius * sunRadius) {
                color = Rgb(255, 246, 210);
            } else if (y < horizon) {
                const int light = 255 * y / std::max(1, horizon);
                color = Rgb(70 + light / 3, 120 + light / 4, 230 - light / 6);
            } else {
                const int grain = ((x * 37) ^ (y * 91)) & 31;
                color = Rgb(60 + grain + x * 40 / width, 110 + grain, 40 + y * 30 / height);
            }
            image.SetPixel(x, y, color);
        }
    return image;
}

// What the made photograph holds.
struct TCameraPhoto {
    int Width = 100;  // as stored; 68 rows leave a last band of 4 under the 16-row bands
    int Height = 68;
    int Orientation = 1;
    int IccSize = 3144;  // bytes of ICC profile; 0 for none
    int Quality = 90;
};

// The camera's tags. Make "Canon" lets Exiv2 write the maker note as that make's own
// directory, with offsets of its own that every rewrite of the EXIF block must move: the
// hardest kind of maker note to keep intact.
inline Exiv2::ExifData CameraExif(int orientation) {
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Canon";
    exif["Exif.Image.Model"] = "Canon EOS Kelvo fixture";
    exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
    exif["Exif.Image.XResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.ResolutionUnit"] = std::uint16_t(2);
    exif["Exif.Image.Software"] = "Firmware Version 1.1.1";
    exif["Exif.Image.DateTime"] = "2024:05:06 07:08:09";
    exif["Exif.Image.Artist"] = "Kelvo test suite";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 160);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(71, 10);
    exif["Exif.Photo.ISOSpeedRatings"] = std::uint16_t(100);
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
    exif["Exif.Photo.ExposureBiasValue"] = Exiv2::Rational(-1, 3);
    exif["Exif.Photo.MaxApertureValue"] = Exiv2::URational(4, 1);
    exif["Exif.Photo.FocalLength"] = Exiv2::URational(135, 1);
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(3888);
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(2592);
    exif["Exif.Canon.ImageType"] = "Canon EOS Kelvo fixture";
    exif["Exif.Canon.FirmwareVersion"] = "Firmware Version 1.1.1";
    exif["Exif.Canon.OwnerName"] = "Kelvo";
    exif["Exif.Canon.ModelID"] = std::uint32_t(0x80001234);
    return exif;
}

// A small JPEG of the scene for the EXIF thumbnail, written through a file beside path.
inline QByteArray ThumbnailJpeg(const QString& path) {
    const QString thumbnail = path + QStringLiteral(".thumbnail.jpg");
    WriteImageFile(thumbnail, Scene(40, 27), 75);
    QFile file(thumbnail);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.remove();
    return bytes;
}

// Writes the photograph to path (which must end in .jpg): the stored raster is `stored` when
// given, else the scene at the photo's size.
inline void Write(const QString& path, const TCameraPhoto& photo = {},
                  const TBitmap32* stored = nullptr) {
    if (stored)
        WriteImageFile(path, *stored, photo.Quality);
    else
        WriteImageFile(path, Scene(photo.Width, photo.Height), photo.Quality);
    const QByteArray thumbnail = ThumbnailJpeg(path);

    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(photo_tags::PathOf(path));
    image->readMetadata();
    Exiv2::ExifData exif = CameraExif(photo.Orientation);
    Exiv2::ExifThumb(exif).setJpegThumbnail(
        reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()), long(thumbnail.size()));
    image->setExifData(exif);
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.title"] = "lang=\"x-default\" Evening over the fields";
    xmp["Xmp.xmp.Rating"] = "4";
    xmp["Xmp.tiff.Orientation"] = std::to_string(photo.Orientation);
    image->setXmpData(xmp);
    if (photo.IccSize > 0) {
        const QByteArray profile = photo_tags::FakeIccProfile(photo.IccSize);
        Exiv2::DataBuf buffer(reinterpret_cast<const Exiv2::byte*>(profile.constData()),
                              long(profile.size()));
        image->setIccProfile(buffer, false);
    }
    image->writeMetadata();
}

// A CMYK JPEG written with libjpeg: the given horizontal sampling of the first channel (4 for
// 4:1:1), a restart marker every restartInterval blocks, Huffman tables made for the picture
// and an ICC profile of iccSize bytes, which takes many APP2 segments when it is large. The
// four channels run as gradients in different directions, so every one of them matters.
inline void WriteCmyk(const QString& path, int width, int height, int firstSampling,
                      int restartInterval, int iccSize, int quality = 50) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) return;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    info.restart_interval = unsigned(restartInterval);
    info.comp_info[0].h_samp_factor = firstSampling;
    info.comp_info[0].v_samp_factor = 1;
    for (int c = 1; c < 4; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    if (iccSize > 0) {
        const QByteArray profile = photo_tags::FakeIccProfile(iccSize);
        jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET*>(profile.constData()),
                               unsigned(profile.size()));
    }
    std::vector<JSAMPLE> row(std::size_t(width) * 4);
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            JSAMPLE* pixel = &row[std::size_t(x) * 4];
            pixel[0] = JSAMPLE(255 * x / std::max(1, width - 1));
            pixel[1] = JSAMPLE(255 * y / std::max(1, height - 1));
            pixel[2] = JSAMPLE(((x + y) * 5) & 0xFF);
            pixel[3] = JSAMPLE(((x * y) >> 3) & 0xFF);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// The photographs many tests read, made once per test run in a folder of their own (removed
// when the run ends). Tests that need a damaged file cut or patch a copy of these bytes.
struct TFixtures {
    QTemporaryDir Folder;
    // The camera-like photo at the default size: EXIF with a maker note and a thumbnail, XMP
    // and an ICC profile, 100 x 68.
    QString Camera = Folder.filePath(QStringLiteral("camera.jpg"));
    // A photo taken with the camera on its side: stored 48 x 75 with EXIF orientation 6, so it
    // shows 75 x 48.
    QString Sideways = Folder.filePath(QStringLiteral("sideways.jpg"));
    static constexpr int kSidewaysStoredWidth = 48;
    // CMYK, 4:1:1, a restart marker every 4 blocks and an ICC profile spread over four APP2
    // segments, 150 x 70.
    QString Cmyk = Folder.filePath(QStringLiteral("cmyk.jpg"));
    // A PNG file, which no JPEG reader takes.
    QString Png = Folder.filePath(QStringLiteral("picture.png"));

    TFixtures() {
        Write(Camera);
        Write(Sideways, {.Width = kSidewaysStoredWidth, .Height = 75, .Orientation = 6});
        WriteCmyk(Cmyk, 150, 70, 4, 4, 200000);
        WriteImageFile(Png, Scene(32, 32), 0);
    }
    // A child forked by a test that leaves through exit() must not take the files with it.
    ~TFixtures() {
        if (getpid() != FOwner) Folder.setAutoRemove(false);
    }

  private:
    pid_t FOwner = getpid();
};

inline const TFixtures& Fixtures() {
    static const TFixtures fixtures;
    return fixtures;
}

}  // namespace camera_jpeg
