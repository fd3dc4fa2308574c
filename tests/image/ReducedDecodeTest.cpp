// The reduced decode a large JPEG is shown with first: the scale it takes for a picture and the
// size it is shown at, and that the small picture is the full load's picture made small (turned
// upright, CMYK converted, progressive files too), with the same metadata.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"
#include "image/LosslessJpeg.h"
#include "support/CameraJpeg.h"

namespace {

TEST(ReducedJpegScale, LargestScaleThatStillCoversTheShownSize) {
    struct TCase {
        int Width, Height, ShownWidth, ShownHeight, Scale;
    };
    const TCase cases[] = {
        {6000, 4000, 1500, 1000, 4},  // exactly a quarter
        {6000, 4000, 1501, 1000, 2},  // a pixel wider than a quarter gives
        {6000, 4000, 1280, 853, 4},   // fitted into 1280 x 1024
        {6000, 4000, 1920, 1280, 2},  // fitted into a full-HD screen's height
        {6000, 4000, 750, 500, 8},    // 1/8 is the smallest libjpeg makes
        {6000, 4000, 100, 66, 8},
        {6000, 4000, 3000, 2000, 2},  // exactly twice
        {6000, 4000, 3001, 2000, 1},  // less than twice: decoded whole
        {6000, 4000, 6000, 4000, 1},  // shown at its size
        {4000, 6000, 853, 1280, 4},   // upright portrait
        {8000, 1000, 1280, 160, 4},   // a panorama: the height decides too
        {8000, 1000, 1280, 501, 1},
        {1999, 1999, 1000, 1000, 1},  // odd sizes: 1999/2 is 999, short of 1000
        {2000, 2000, 1000, 1000, 2},
        {0, 0, 100, 100, 1},          // nothing to show
        {6000, 4000, 0, 0, 1},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ReducedJpegScale(c.Width, c.Height, c.ShownWidth, c.ShownHeight), c.Scale)
            << c.Width << "x" << c.Height << " shown at " << c.ShownWidth << "x" << c.ShownHeight;
}

// The mean difference per channel between the reduced picture and the full one box-reduced to
// its size: a few levels for the same picture, far more for a picture turned or coloured wrong.
double MeanDifference(const TBitmap32& reduced, const TBitmap32& full) {
    const int w = reduced.Width(), h = reduced.Height();
    double total = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // The full picture's pixels that this one stands for.
            const int x0 = int(std::int64_t(x) * full.Width() / w);
            const int x1 = std::max(x0 + 1, int(std::int64_t(x + 1) * full.Width() / w));
            const int y0 = int(std::int64_t(y) * full.Height() / h);
            const int y1 = std::max(y0 + 1, int(std::int64_t(y + 1) * full.Height() / h));
            for (int shift : {0, 8, 16}) {
                double sum = 0;
                for (int yy = y0; yy < y1; ++yy)
                    for (int xx = x0; xx < x1; ++xx)
                        sum += (full.GetPixel(xx, yy) >> shift) & 0xFF;
                const double mean = sum / ((x1 - x0) * (y1 - y0));
                total += std::abs(mean - double((reduced.GetPixel(x, y) >> shift) & 0xFF));
            }
        }
    return total / (3.0 * w * h);
}

void WriteProgressive(const QString& path, const TBitmap32& picture) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(picture.Width());
    info.image_height = JDIMENSION(picture.Height());
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row[1] = {reinterpret_cast<JSAMPROW>(
            const_cast<TColor32*>(picture.ScanLine(int(info.next_scanline))))};
        jpeg_write_scanlines(&info, row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

class ReducedDecode : public ::testing::Test {
  protected:
    QString Path(const char* name) const { return FDir.filePath(QLatin1String(name)); }
    // The reduced load of path for a picture shown at `shown`, checked against the plain load.
    void ExpectReducedIsTheFullPictureSmall(const QString& path, QSize shown, int scale) {
        TBitmap32 full;
        const TKeptMetadata plain = LoadPhotoFromFile(path, full, true);
        TReducedPhoto reduced;
        QSize askedWith;
        ASSERT_TRUE(LoadReducedPhoto(path, true,
                                     [&](QSize size) {
                                         askedWith = size;
                                         return shown;
                                     },
                                     reduced));
        EXPECT_EQ(askedWith, QSize(full.Width(), full.Height()));
        EXPECT_EQ(reduced.FullSize, QSize(full.Width(), full.Height()));
        EXPECT_EQ(reduced.Scale, scale);
        EXPECT_EQ(reduced.Picture.Width(), (full.Width() + scale - 1) / scale);
        EXPECT_EQ(reduced.Picture.Height(), (full.Height() + scale - 1) / scale);
        EXPECT_LT(MeanDifference(reduced.Picture, full), 6.0);
        // The metadata is the plain load's, but for the exactness of the full pixels.
        ASSERT_EQ(bool(reduced.Metadata.Source), bool(plain.Source));
        if (plain.Source) {
            EXPECT_EQ(reduced.Metadata.Source->Exif(), plain.Source->Exif());
            EXPECT_EQ(reduced.Metadata.Source->Xmp(), plain.Source->Xmp());
            EXPECT_EQ(reduced.Metadata.Source->IccProfile(), plain.Source->IccProfile());
        }
        EXPECT_EQ(reduced.Metadata.Reoriented, plain.Reoriented);
        EXPECT_TRUE(reduced.Metadata.Turn == plain.Turn);
        ASSERT_TRUE(reduced.Metadata.Origin && plain.Origin);
        EXPECT_TRUE(SameJpegOrigin(*reduced.Metadata.Origin, *plain.Origin));
        EXPECT_EQ(reduced.Metadata.TurnedStamp, 0u);
    }

    QTemporaryDir FDir;
};

TEST_F(ReducedDecode, IsThePlainLoadMadeSmall) {
    // Stored as the camera held it, and stored sideways (orientation 6: turned while decoding)
    // and mirrored and turned (5: a turn and a flip): the small picture stands upright too.
    for (const int orientation : {1, 6, 5, 3}) {
        SCOPED_TRACE(orientation);
        const QString path = Path("camera.jpg");
        camera_jpeg::Write(path, {1203, 805, orientation, 3144, 90});
        const bool sideways = orientation >= 5;
        ExpectReducedIsTheFullPictureSmall(path, sideways ? QSize(200, 300) : QSize(300, 200),
                                           4);
    }
}

TEST_F(ReducedDecode, CmykAndProgressiveFiles) {
    const QString cmyk = Path("cmyk.jpg");
    camera_jpeg::WriteCmyk(cmyk, 960, 640, 2, 0, 0, 90);
    ExpectReducedIsTheFullPictureSmall(cmyk, QSize(120, 80), 8);

    const QString progressive = Path("progressive.jpg");
    WriteProgressive(progressive, camera_jpeg::Scene(1000, 700));
    ExpectReducedIsTheFullPictureSmall(progressive, QSize(480, 336), 2);
}

TEST_F(ReducedDecode, NotForSmallPicturesNorOtherFormats) {
    const QString jpeg = Path("small.jpg");
    camera_jpeg::Write(jpeg, {400, 300, 1, 0, 90});
    TReducedPhoto reduced;
    EXPECT_FALSE(LoadReducedPhoto(jpeg, true, [](QSize) { return QSize(300, 225); }, reduced));
    EXPECT_TRUE(reduced.Picture.Empty());

    const QString png = Path("large.png");
    ASSERT_TRUE(camera_jpeg::Scene(800, 600).Export().save(png));
    EXPECT_FALSE(LoadReducedPhoto(png, true, [](QSize) { return QSize(100, 75); }, reduced));
    EXPECT_TRUE(reduced.Picture.Empty());
}

TEST_F(ReducedDecode, CancelledDecodeStopsAndLeavesNothing) {
    const QString path = Path("camera.jpg");
    camera_jpeg::Write(path, {640, 480, 6, 0, 90});
    std::atomic<bool> cancelled{true};
    TBitmap32 image;
    const TJpegCancellation cancellation(cancelled);
    EXPECT_THROW(LoadPhotoFromFile(path, image, true), TJpegDecodeCancelled);
    EXPECT_TRUE(image.Empty());
    // Not cancelled, the same scope decodes as always.
    cancelled = false;
    LoadPhotoFromFile(path, image, true);
    EXPECT_EQ(image.Width(), 480);
}

}  // namespace
