// Photos shown upright by their EXIF orientation, and their camera metadata carried into the
// JPEG files saved from them.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegTranscode.h"
#include "image/PhotoMetadata.h"
#include "image/QuarterTurns.h"
#include "support/CameraJpeg.h"
#include "support/JpegLayout.h"
#include "support/PhotoTags.h"
#include "support/RasterPatterns.h"
#include "support/TestCorpus.h"
#include "support/TestFiles.h"

namespace {

using test_files::Entries;
using test_files::ReadAll;
using test_files::WriteAll;

// Where the displayed pixel (x, y) lies in the stored raster of size W x H, as the EXIF
// standard describes each orientation by where the stored rows and columns end up.
struct TStoredPlace {
    int X;
    int Y;
};
TStoredPlace StoredPlace(int orientation, int x, int y, int W, int H) {
    switch (orientation) {
        case 2:
            return {W - 1 - x, y};
        case 3:
            return {W - 1 - x, H - 1 - y};
        case 4:
            return {x, H - 1 - y};
        case 5:
            return {y, x};
        case 6:
            return {y, H - 1 - x};
        case 7:
            return {W - 1 - y, H - 1 - x};
        case 8:
            return {W - 1 - y, x};
        default:
            return {x, y};
    }
}
bool SwapsSides(int orientation) {
    return orientation >= 5;
}

// The stored raster a camera writes for the upright picture, turned by hand.
TBitmap32 StoredFor(const TBitmap32& upright, int orientation) {
    TBitmap32 stored;
    const bool swap = SwapsSides(orientation);
    stored.SetSize(swap ? upright.Height() : upright.Width(),
                   swap ? upright.Width() : upright.Height());
    for (int y = 0; y < upright.Height(); ++y)
        for (int x = 0; x < upright.Width(); ++x) {
            const TStoredPlace place =
                StoredPlace(orientation, x, y, stored.Width(), stored.Height());
            stored.SetPixel(place.X, place.Y, upright.GetPixel(x, y));
        }
    return stored;
}

// The stored raster shown upright, turned by hand.
TBitmap32 UprightFrom(const TBitmap32& stored, int orientation) {
    TBitmap32 upright;
    const bool swap = SwapsSides(orientation);
    upright.SetSize(swap ? stored.Height() : stored.Width(),
                    swap ? stored.Width() : stored.Height());
    for (int y = 0; y < upright.Height(); ++y)
        for (int x = 0; x < upright.Width(); ++x) {
            const TStoredPlace place =
                StoredPlace(orientation, x, y, stored.Width(), stored.Height());
            upright.SetPixel(x, y, stored.GetPixel(place.X, place.Y));
        }
    return upright;
}

// A picture with a bright corner at its top left and smooth colours elsewhere, so that a JPEG of
// it stays close to it and a wrong turn shows.
TBitmap32 Scene(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool corner = x < width / 4 && y < height / 4;
            image.SetPixel(x, y,
                           corner ? 0xFFFFFFFFu
                                  : 0xFF000000u | TColor32(x * 200 / width) << 16 |
                                        TColor32(y * 200 / height) << 8 | 60u);
        }
    return image;
}

TBitmap32 Load(const QString& fileName) {
    TBitmap32 image;
    LoadImageFromFile(fileName, image);
    return image;
}

// The mean difference per channel of two same-sized rasters; a large number for other sizes.
double MeanDifference(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.PixelCount(); ++i)
        for (int shift : {0, 8, 16})
            sum +=
                std::abs(int((a.Bits()[i] >> shift) & 0xFF) - int((b.Bits()[i] >> shift) & 0xFF));
    return sum / (3.0 * double(a.PixelCount()));
}

// The scene with its own number drawn in: that many dark dots along the bottom right.
TBitmap32 NumberedScene(int width, int height, int number) {
    TBitmap32 image = Scene(width, height);
    for (int dot = 0; dot < number; ++dot)
        for (int y = height - 6; y < height - 3; ++y)
            for (int x = width - 4 - 4 * (dot + 1); x < width - 4 - 4 * dot - 1; ++x)
                image.SetPixel(x, y, 0xFF101010u);
    return image;
}

// A set of camera files of one scene, <kind>_1.jpg to <kind>_8.jpg: each stored as a camera
// held at its orientation stores it, tagged with that orientation, and with its own number
// drawn in, so the files are not equal.
void WriteOrientationSet(const QDir& folder, const char* kind, int width, int height) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const TBitmap32 stored = StoredFor(NumberedScene(width, height, orientation), orientation);
        camera_jpeg::Write(
            folder.filePath(QLatin1String(kind) + QStringLiteral("_%1.jpg").arg(orientation)),
            {.Orientation = orientation, .Quality = 95}, &stored);
    }
}

// Of the eight ways to turn a stored picture, the file's own must come closest to the
// unturned file of its set (<kind>_1.jpg in folder).
void ExpectEachFileComesClosestTurnedItsOwnWay(const QDir& folder) {
    for (const char* kind : {"landscape", "portrait"}) {
        const QString first = folder.filePath(QLatin1String(kind) + QStringLiteral("_1.jpg"));
        const TBitmap32 reference = Load(first);
        ASSERT_FALSE(reference.Empty());
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(kind) + " " + std::to_string(orientation));
            const QString file =
                folder.filePath(QLatin1String(kind) + QStringLiteral("_%1.jpg").arg(orientation));
            TBitmap32 shown;
            const TKeptMetadata kept = LoadPhotoFromFile(file, shown, true);
            ASSERT_TRUE(kept.Source);
            EXPECT_EQ(kept.Source->Orientation(), orientation);
            const TBitmap32 stored = Load(file);
            EXPECT_TRUE(SamePixels(shown, UprightFrom(stored, orientation)));
            const double own = MeanDifference(shown, reference);
            for (int other = 1; other <= 8; ++other) {
                if (other != orientation) {
                    EXPECT_LT(own, MeanDifference(UprightFrom(stored, other), reference)) << other;
                }
            }
        }
    }
}

}  // namespace

TEST(ExifOrientation, EachOfTheEightShowsUprightPixelForPixel) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const TBitmap32 upright = Scene(40, 24);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QString file = folder.filePath(QStringLiteral("o%1.jpg").arg(orientation));
        WriteImageFile(file + QStringLiteral(".JPG"), StoredFor(upright, orientation), 100);
        ASSERT_TRUE(QFile::rename(file + QStringLiteral(".JPG"), file));
        photo_tags::SetOrientation(file, orientation);

        const TBitmap32 stored = Load(file);
        TBitmap32 shown;
        const TKeptMetadata kept = LoadPhotoFromFile(file, shown, true);
        EXPECT_TRUE(SamePixels(shown, UprightFrom(stored, orientation)));
        EXPECT_EQ(kept.Reoriented, orientation != 1);
        ASSERT_TRUE(kept.Source);
        EXPECT_EQ(kept.Source->Orientation(), orientation);
        // Against the picture the camera saw: the bright corner is back at the top left.
        EXPECT_LT(MeanDifference(shown, upright), 4.0);

        TBitmap32 asStored;
        const TKeptMetadata plain = LoadPhotoFromFile(file, asStored, false);
        EXPECT_TRUE(SamePixels(asStored, stored));
        EXPECT_FALSE(plain.Reoriented);
    }
}

TEST(ExifOrientation, CameraFilesOfEveryOrientationMatchTheUnturnedOne) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    WriteOrientationSet(QDir(folder.path()), "landscape", 64, 40);
    WriteOrientationSet(QDir(folder.path()), "portrait", 40, 64);
    ExpectEachFileComesClosestTurnedItsOwnWay(QDir(folder.path()));
}

// The same with the camera samples of the public suites, written by other encoders: each file
// of the set shows the same scene with its own number drawn in.
TEST(ExifOrientation, SuiteCameraFilesOfEveryOrientationMatchTheUnturnedOne) {
    SKIP_WITHOUT_CORPUS();
    ExpectEachFileComesClosestTurnedItsOwnWay(
        QDir(test_corpus::PathOf(QStringLiteral("exif-samples/jpg/orientation"))));
}

TEST(ExifOrientation, FilesWithoutATagOrFromOtherFormatsStayAsStored) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const TBitmap32 scene = Scene(20, 12);
    for (const char* name : {"plain.JPG", "picture.PNG", "picture.BMP"}) {
        SCOPED_TRACE(name);
        const QString file = folder.filePath(QLatin1String(name));
        WriteImageFile(file, scene, 95);
        TBitmap32 shown;
        const TKeptMetadata kept = LoadPhotoFromFile(file, shown, true);
        EXPECT_FALSE(kept.Source);
        EXPECT_FALSE(kept.Reoriented);
        EXPECT_TRUE(SamePixels(shown, Load(file)));
    }
}

TEST(InPlaceFlipMirror, MatchTheCopyingKernelsAtEverySmallSize) {
    for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 12, 17})
        for (int height : {1, 2, 3, 6}) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
            TBitmap32 source, expected, inPlace;
            FillPattern(source, width, height);
            FlipVertical(source, expected);
            inPlace.Assign(source);
            FlipVerticalInPlace(inPlace);
            EXPECT_TRUE(SamePixels(inPlace, expected));
            MirrorHorizontal(source, expected);
            inPlace.Assign(source);
            MirrorHorizontalInPlace(inPlace);
            EXPECT_TRUE(SamePixels(inPlace, expected));
        }
}

namespace {

class MetadataSave : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FSource = FFolder.filePath(QStringLiteral("camera.jpg"));
        const QString thumbnail = FFolder.filePath(QStringLiteral("thumb.JPG"));
        WriteImageFile(thumbnail, Scene(16, 12), 80);
        WriteImageFile(FSource + QStringLiteral(".JPG"), StoredFor(Scene(64, 48), 6), 95);
        ASSERT_TRUE(QFile::rename(FSource + QStringLiteral(".JPG"), FSource));
        // Larger than one segment holds, so the profile travels in pieces.
        photo_tags::AddCameraMetadata(FSource, 6, 100000, ReadAll(thumbnail));
        FSourceTags = photo_tags::Read(FSource);
        ASSERT_GT(FSourceTags.ThumbnailBytes, 0);
    }
    QString PathOf(const char* name) const { return FFolder.filePath(QLatin1String(name)); }

    QTemporaryDir FFolder;
    QString FSource;
    photo_tags::TTags FSourceTags;
};

}  // namespace

TEST_F(MetadataSave, EveryEditKindKeepsTheCameraTagsAndSetsOrientationAndSize) {
    struct TCase {
        const char* Name;
        bool Upright;                          // loaded with "Auto Rotate"
        std::function<void(TBitmap32&)> Edit;  // what the user did before saving
        bool Geometric;                        // the edit moved pixels to other places
        const char* Orientation;               // the written tag
    };
    const auto half = [](TBitmap32& image) {
        TBitmap32 smaller;
        smaller.SetSize(image.Width() / 2, image.Height() / 2);
        for (int y = 0; y < smaller.Height(); ++y)
            for (int x = 0; x < smaller.Width(); ++x)
                smaller.SetPixel(x, y, image.GetPixel(2 * x, 2 * y));
        image.Assign(std::move(smaller));
    };
    const auto crop = [](TBitmap32& image) {
        TBitmap32 part;
        part.SetSize(20, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                part.SetPixel(x, y, image.GetPixel(x + 3, y + 5));
        image.Assign(std::move(part));
    };
    const TCase cases[] = {
        {"as stored", false, [](TBitmap32&) {}, false, "6"},
        {"upright", true, [](TBitmap32&) {}, false, "1"},
        {"brightened", false, [](TBitmap32& image) { image.Clear(0xFF808080u); }, false, "6"},
        {"halved", false, half, false, "6"},
        {"turned", false, [](TBitmap32& image) { image.TurnClockwise(); }, true, "1"},
        {"flipped", false, [](TBitmap32& image) { FlipVerticalInPlace(image); }, true, "1"},
        {"mirrored", false, [](TBitmap32& image) { MirrorHorizontalInPlace(image); }, true, "1"},
        {"cropped", false, crop, true, "1"},
        {"upright then turned back", true, [](TBitmap32& image) { image.TurnCounterClockwise(); },
         true, "1"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TBitmap32 image;
        TKeptMetadata kept = LoadPhotoFromFile(FSource, image, test.Upright);
        test.Edit(image);
        if (test.Geometric) kept.Reoriented = true;
        const QString saved = PathOf("saved.JPG");
        const QString bare = PathOf("bare.JPG");
        WriteImageFile(saved, image, 90, kept);
        WriteImageFile(bare, image, 90);

        const photo_tags::TTags tags = photo_tags::Read(saved);
        for (const char* key : {"Exif.Image.Make", "Exif.Image.Model", "Exif.Photo.ExposureTime",
                                "Exif.Photo.FNumber", "Exif.Photo.DateTimeOriginal"})
            EXPECT_EQ(tags.ExifValue(key), FSourceTags.ExifValue(key)) << key;
        EXPECT_EQ(tags.ExifValue("Exif.Image.Orientation"), test.Orientation);
        EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelXDimension"), std::to_string(image.Width()));
        EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelYDimension"), std::to_string(image.Height()));
        EXPECT_EQ(tags.ThumbnailBytes, 0);
        EXPECT_EQ(tags.ThumbnailTags, 0);
        EXPECT_EQ(tags.Xmp.at("Xmp.dc.title"), FSourceTags.Xmp.at("Xmp.dc.title"));
        EXPECT_EQ(tags.Xmp.at("Xmp.tiff.Orientation"), test.Orientation);
        EXPECT_EQ(tags.Xmp.at("Xmp.exif.PixelXDimension"), std::to_string(image.Width()));
        EXPECT_EQ(tags.Iptc, FSourceTags.Iptc);
        EXPECT_EQ(tags.Icc, FSourceTags.Icc);
        EXPECT_EQ(tags.Icc.size(), 100000);
        // The tags ride along; the pixels are those a save without them writes.
        EXPECT_TRUE(SamePixels(Load(saved), Load(bare)));
    }
}

TEST_F(MetadataSave, OtherFormatsAndPicturesWithoutASourceCarryNothing) {
    TBitmap32 image;
    const TKeptMetadata kept = LoadPhotoFromFile(FSource, image, true);
    const QString png = PathOf("out.PNG");
    WriteImageFile(png, image, 90, kept);
    EXPECT_TRUE(photo_tags::Read(png).Exif.empty());

    const QString plain = PathOf("pasted.JPG");
    WriteImageFile(plain, image, 90, TKeptMetadata{});
    const photo_tags::TTags tags = photo_tags::Read(plain);
    EXPECT_TRUE(tags.Exif.empty());
    EXPECT_TRUE(tags.Xmp.empty());
    EXPECT_TRUE(tags.Iptc.empty());
    EXPECT_TRUE(tags.Icc.isEmpty());
}

TEST_F(MetadataSave, DamagedBlocksAreLeftOutAndTheRestTravels) {
    // A reader that cannot follow the EXIF structure drops it alone.
    std::vector<TJpegMarker> markers = {
        {0xE1, QByteArray("Exif\0\0", 6) + QByteArray("II*\0\xff\xff\xff\x7f", 8)},
        {0xE2,
         QByteArray("ICC_PROFILE\0", 12) + char(1) + char(1) + photo_tags::FakeIccProfile(300)},
        // The second piece of a two-piece profile is missing: no profile at all.
        {0xE2, QByteArray("ICC_PROFILE\0", 12) + char(1) + char(2) + QByteArray(50, 'x')},
    };
    const auto metadata = TPhotoMetadata::FromMarkers(markers);
    ASSERT_TRUE(metadata);
    EXPECT_TRUE(metadata->IccProfile().isEmpty());
    EXPECT_EQ(metadata->Orientation(), 1);
    markers.pop_back();
    const auto complete = TPhotoMetadata::FromMarkers(markers);
    EXPECT_EQ(complete->IccProfile(), photo_tags::FakeIccProfile(300));
    const std::vector<TJpegMarker> written = complete->MarkersForSave(10, 10, true);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].Code, 0xE2);
}

namespace {

QByteArray Segment(int code, const QByteArray& payload) {
    const qsizetype length = payload.size() + 2;
    return QByteArray{"\xFF"} + char(code) + char(length >> 8) + char(length & 0xFF) + payload;
}

// Where the picture's frame header starts (the EXIF thumbnail has one of its own before it).
qsizetype FrameAt(const QByteArray& bytes) {
    return bytes.indexOf(jpeg_layout::LayoutOf(bytes).FrameHeader);
}

}  // namespace

TEST_F(MetadataSave, SegmentsTheMetadataIsNotMadeOfAreSkippedAndItsOwnKept) {
    // Saved segments were once kept in a list walked to its end for each new one: a file of
    // many segments took minutes to open. The same picture and the same metadata must come out
    // whatever surrounds the real segments; what is added here either comes before them (after
    // the start of image) or after them (before the frame).
    const QByteArray clean = ReadAll(FSource);
    const qsizetype frame = FrameAt(clean);
    ASSERT_GT(frame, 0);
    const QByteArray exif("Exif\0\0", 6);
    const QByteArray xmp("http://ns.adobe.com/xap/1.0/\0", 29);
    const QByteArray icc("ICC_PROFILE\0", 12);
    const QByteArray photoshop("Photoshop 3.0\0", 14);
    QByteArray manyEmpty;
    for (int i = 0; i < 48000; ++i)
        manyEmpty += Segment(0xE1, {});
    const struct {
        const char* Name;
        QByteArray Before;
        QByteArray After;
    } cases[] = {
        {"48,000 empty APP1", manyEmpty, {}},
        {"signatures without content first",
         Segment(0xE1, exif) + Segment(0xE1, xmp) + Segment(0xE2, icc + char(1) + char(1)) +
             Segment(0xED, photoshop),
         {}},
        {"EXIF and XMP repeated after the real ones",
         {},
         Segment(0xE1, exif + QByteArray("MM\0*\0\0\0\x08\0\0", 10)) +
             Segment(0xE1, xmp + "<x:xmpmeta/>")},
        {"segments of other kinds",
         Segment(0xE1, "Other\0data") + Segment(0xE2, "FPXR\0\0data") +
             Segment(0xED, "Adobe_CM\0data") + Segment(0xE1, "E"),
         Segment(0xE1, "http://ns.adobe.com/xmp/extension/\0more")},
    };
    TBitmap32 expected;
    const TKeptMetadata expectedKept = LoadPhotoFromFile(FSource, expected, false);
    ASSERT_TRUE(expectedKept.Source);
    const QString bandsOfClean = PathOf("clean-bands.JPG");
    TranscodeJpegInBands(FSource, bandsOfClean, 90, {}, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString file = PathOf("surrounded.jpg");
        WriteAll(file,
                 clean.left(2) + c.Before + clean.mid(2, frame - 2) + c.After + clean.mid(frame));
        TBitmap32 image;
        const TKeptMetadata kept = LoadPhotoFromFile(file, image, false);
        EXPECT_TRUE(SamePixels(image, expected));
        ASSERT_TRUE(kept.Source);
        EXPECT_EQ(kept.Source->Exif(), expectedKept.Source->Exif());
        EXPECT_EQ(kept.Source->Xmp(), expectedKept.Source->Xmp());
        EXPECT_EQ(kept.Source->IccProfile(), expectedKept.Source->IccProfile());
        EXPECT_EQ(kept.Source->PhotoshopResources(), expectedKept.Source->PhotoshopResources());
        const QString bands = PathOf("bands.JPG");
        TranscodeJpegInBands(file, bands, 90, {}, true);
        EXPECT_EQ(ReadAll(bands), ReadAll(bandsOfClean));
    }
}

TEST_F(MetadataSave, PhotoshopBlocksAreKeptUpToAMegabyte) {
    const QByteArray clean = ReadAll(FSource);
    const qsizetype frame = FrameAt(clean);
    ASSERT_GT(frame, 0);
    TBitmap32 image;
    const QByteArray own = LoadPhotoFromFile(FSource, image, false).Source->PhotoshopResources();
    ASSERT_FALSE(own.isEmpty());
    // 40 more blocks of 60,000 bytes: 2.4 MB a hostile file would have the reader hold.
    QByteArray blocks;
    for (int i = 0; i < 40; ++i)
        blocks += Segment(0xED, QByteArray("Photoshop 3.0\0", 14) + QByteArray(60000, char(i)));
    const QString file = PathOf("many-blocks.jpg");
    WriteAll(file, clean.left(frame) + blocks + clean.mid(frame));
    const QByteArray kept = LoadPhotoFromFile(file, image, false).Source->PhotoshopResources();
    EXPECT_TRUE(kept.startsWith(own));
    EXPECT_GT(kept.size(), own.size() + 900000);
    EXPECT_LE(kept.size(), 1 << 20);
}

namespace {

class FullDiskMetadata : public MetadataSave {
  protected:
    void SetUp() override {
        MetadataSave::SetUp();
        FMount = FFolder.filePath(QStringLiteral("small"));
        ASSERT_TRUE(QDir().mkpath(FMount));
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=64k"), QStringLiteral("tmpfs"), FMount});
        if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here";
        FMounted = true;
    }
    void TearDown() override {
        if (FMounted) QProcess::execute(QStringLiteral("umount"), {FMount});
    }
    QString FMount;
    bool FMounted = false;
};

}  // namespace

TEST_F(FullDiskMetadata, TagsThatDoNotFitLeaveTheOldFileWhole) {
    // The picture alone fits; with its 100 KB profile it does not, so the disk fills while the
    // tags are written: they must go into the new file, not into the old one after the rename.
    TBitmap32 image;
    const TKeptMetadata kept = LoadPhotoFromFile(FSource, image, true);
    const QString target = FMount + QStringLiteral("/old.JPG");
    const QByteArray old = QByteArray("the old photo") + QByteArray(300, '#');
    WriteAll(target, old);
    QString failure;
    try {
        WriteImageFile(target, image, 90, kept);
    } catch (const KelvoError& error) {
        failure = error.Message();
    }
    EXPECT_EQ(failure, CannotCreateFileMessage(target, ENOSPC));
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(Entries(FMount), QStringList{QStringLiteral("old.JPG")});
    WriteImageFile(target, image, 90);  // without the tags it fits
    EXPECT_EQ(Load(target).Width(), image.Width());
}
