// Ratings and picks written where photo tools read them: the JPEG's own XMP (every other byte
// of the file kept), a sidecar for everything else.

#include "browse/PhotoRating.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "BrowseTestSupport.h"
#include "base/KelvoError.h"
#include "image/ImageSaver.h"
#include "support/TaggedJpeg.h"

using namespace browse_test;

namespace {

// The file without its XMP segment: what a rating must leave exactly as it was.
QByteArray WithoutXmpSegment(const QByteArray& jpeg) {
    const QByteArray signature("http://ns.adobe.com/xap/1.0/\0", 29);
    const qsizetype at = jpeg.indexOf(signature);
    if (at < 4) return jpeg;
    const qsizetype start = at - 4;
    const qsizetype length =
        qsizetype(static_cast<unsigned char>(jpeg[start + 2])) << 8 |
        static_cast<unsigned char>(jpeg[start + 3]);
    return jpeg.left(start) + jpeg.mid(start + 2 + length);
}

class PhotoRatingTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString Path(const QString& name) const { return FDir.filePath(name); }
    QTemporaryDir FDir;
};

TEST_F(PhotoRatingTest, JpegRatingRewritesOnlyTheXmpSegment) {
    const QString photo = Path("IMG_0001.JPG");
    tagged_jpeg::Write(photo, {{"Exif.Image.Make", 2, tagged_jpeg::Ascii("Kelvo")}});
    const QByteArray before = *ReadFile(photo);

    // Added where there was none, then replaced: each time only that segment differs.
    for (const TPhotoRating rating : {TPhotoRating{3, false}, TPhotoRating{5, true},
                                      TPhotoRating{-1, false}, TPhotoRating{0, false}}) {
        SCOPED_TRACE(rating.Rating);
        const QByteArray packet = WritePhotoRating(photo, rating);
        const QByteArray after = *ReadFile(photo);
        EXPECT_EQ(WithoutXmpSegment(after), before);
        EXPECT_TRUE(after.contains(packet));
        EXPECT_EQ(RatingFromXmp(packet), rating);
        EXPECT_EQ(ReadPhotoRating(photo, packet), rating);
    }
    EXPECT_FALSE(QFileInfo::exists(RatingSidecarPath(photo)));
}

TEST_F(PhotoRatingTest, OtherXmpPropertiesAreKept) {
    const QByteArray packet = XmpWithRating({}, {2, false});
    ASSERT_FALSE(packet.isEmpty());
    // A packet from another tool, naming the photographer: rating it keeps the name.
    const QByteArray rated = XmpWithRating(
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:creator><rdf:Seq>"
        "<rdf:li>Ann Example</rdf:li></rdf:Seq></dc:creator></rdf:Description></rdf:RDF>"
        "</x:xmpmeta>",
        {4, true});
    EXPECT_TRUE(rated.contains("Ann Example"));
    EXPECT_EQ(RatingFromXmp(rated), (TPhotoRating{4, true}));
    // A packet that cannot be read is never replaced by one that lost what it held.
    EXPECT_THROW(XmpWithRating("<x:xmpmeta><broken", {1, false}), KelvoError);
    // Other tools write a decimal.
    EXPECT_EQ(RatingFromXmp(QByteArray(packet).replace("xmp:Rating=\"2\"", "xmp:Rating=\"3.0\"")),
              (TPhotoRating{3, false}));
}

TEST_F(PhotoRatingTest, OtherFormatsGoToASidecar) {
    // A RAW file (any bytes that are not a JPEG) and a PNG keep their bytes; the sidecar takes
    // the base name, so a RAW+JPEG pair's sidecar travels with the pair.
    ASSERT_TRUE(WriteFile(Path("IMG_0002.CR2"), QByteArray("II*\0raw data", 12)));
    TBitmap32 picture;
    picture.SetSize(3, 2);
    picture.Clear(0xFF102030u);
    WriteImageFile(Path("scan.png"), picture, 90);
    for (const QString name : {QStringLiteral("IMG_0002.CR2"), QStringLiteral("scan.png")}) {
        SCOPED_TRACE(name.toStdString());
        const QString file = Path(name);
        const QByteArray before = *ReadFile(file);
        EXPECT_TRUE(WritePhotoRating(file, {5, false}).isEmpty());
        EXPECT_EQ(*ReadFile(file), before);
        EXPECT_EQ(ReadPhotoRating(file, {}), (TPhotoRating{5, false}));
        EXPECT_TRUE(WritePhotoRating(file, {-1, false}).isEmpty());
        EXPECT_EQ(ReadPhotoRating(file, {}), (TPhotoRating{-1, false}));
    }
    EXPECT_TRUE(QFileInfo::exists(Path("IMG_0002.xmp")));
    EXPECT_TRUE(QFileInfo::exists(Path("scan.xmp")));
    // A file that is gone gets no sidecar of its own.
    EXPECT_THROW(WritePhotoRating(Path("gone.CR2"), {1, false}), KelvoError);
    EXPECT_FALSE(QFileInfo::exists(Path("gone.xmp")));
}

TEST_F(PhotoRatingTest, SidecarNamesAndCaptions) {
    EXPECT_EQ(RatingSidecarPath("/a/IMG_1.CR2"), "/a/IMG_1.xmp");
    EXPECT_EQ(RatingSidecarPath("/a.b/photo"), "/a.b/photo.xmp");
    EXPECT_EQ(RatingSidecarPath("/a/.hidden"), "/a/.hidden.xmp");
    struct Case {
        TPhotoRating Rating;
        const char* Caption;
    } cases[] = {
        {{0, false}, ""},
        {{3, false}, "★★★☆☆"},
        {{5, true}, "★★★★★ picked"},
        {{-1, false}, "rejected"},
        {{0, true}, "picked"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RatingCaptionText(c.Rating), QString::fromUtf8(c.Caption));
}

}  // namespace
