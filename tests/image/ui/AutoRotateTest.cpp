// "Auto Rotate" and the camera tags in the window: a sideways photo shown upright, the stored
// choice, and the tags of the saved file after the edits, undo and paste.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/JpegTables.h"
#include "support/PhotoTags.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"
#include "support/ui/MainWindowFixture.h"
#include "transform/ui/RotationTrackBarForm.h"

namespace {

class AutoRotate : public MainWindowFixture {
  protected:
    // A 30 x 20 photo stored sideways (orientation 6) with camera tags.
    QString MakeSidewaysPhoto() {
        TBitmap32 stored;
        stored.SetSize(20, 30);
        stored.Clear(0xFF406080u);
        const QString path = PathOf(QStringLiteral("photo.JPG"));
        WriteImageFile(path, stored, 95);
        photo_tags::AddCameraMetadata(path, 6, 0, QByteArray());
        return path;
    }
    std::string SavedOrientation() {
        const QString out = PathOf(QStringLiteral("out.JPG"));
        QFile::remove(out);
        Form().SaveImageFile(out);
        return photo_tags::Read(out).ExifValue("Exif.Image.Orientation");
    }
};

}  // namespace

TEST_F(AutoRotate, CheckedByDefaultShowsUprightAndStoresTheChoice) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    ASSERT_TRUE(form.AutoRotate1->isCheckable());
    EXPECT_TRUE(form.AutoRotate1->isChecked());
    form.LoadImageFile(MakeSidewaysPhoto());
    EXPECT_EQ(Bitmap().Width(), 30);
    EXPECT_EQ(Bitmap().Height(), 20);
    EXPECT_EQ(SavedOrientation(), "1");

    // Unchecking stores "N" and leaves the picture shown as it is until the next load.
    form.AutoRotate1->trigger();
    EXPECT_EQ(Setting("Image", "AutoRotate"), QStringLiteral("N"));
    EXPECT_EQ(Bitmap().Width(), 30);
    form.ReOpenButton->trigger();
    EXPECT_EQ(Bitmap().Width(), 20);
    EXPECT_EQ(SavedOrientation(), "6");
    form.AutoRotate1->trigger();
    EXPECT_EQ(Setting("Image", "AutoRotate"), QStringLiteral("Y"));
}

TEST_F(AutoRotate, UncheckedInTheSettingsLoadsAsStored) {
    MarkRegistered("[Image]\nAutoRotate=N\n");
    TKelvoImageForm& form = Start();
    EXPECT_FALSE(form.AutoRotate1->isChecked());
    form.LoadImageFile(MakeSidewaysPhoto());
    EXPECT_EQ(Bitmap().Width(), 20);
}

TEST_F(AutoRotate, TurnsSetOrientationOneAndUndoBringsTheStoredOneBack) {
    MarkRegistered("[Image]\nAutoRotate=N\n");
    TKelvoImageForm& form = Start();
    form.LoadImageFile(MakeSidewaysPhoto());
    for (QAction* edit : {form.CWButton, form.CCWButton, form.FlipButton, form.MirrorButton}) {
        SCOPED_TRACE(edit->text().toStdString());
        edit->trigger();
        EXPECT_EQ(SavedOrientation(), "1");
        form.Undo1->trigger();
        EXPECT_EQ(SavedOrientation(), "6");
    }
    // Resampling changes the size, not the orientation.
    form.HalfButton->trigger();
    EXPECT_EQ(SavedOrientation(), "6");
    const photo_tags::TTags tags = photo_tags::Read(PathOf(QStringLiteral("out.JPG")));
    EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelXDimension"), "10");
    EXPECT_EQ(tags.ExifValue("Exif.Image.Make"), "Kelvo Optics");
}

TEST_F(AutoRotate, APastedPictureCarriesNoTags) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    form.LoadImageFile(MakeSidewaysPhoto());
    QImage picture(5, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    form.Paste1->trigger();
    EXPECT_EQ(SavedOrientation(), "<absent>");
    EXPECT_TRUE(photo_tags::Read(PathOf(QStringLiteral("out.JPG"))).Exif.empty());
}

TEST_F(AutoRotate, UncheckedACropKeepsTheStoredTagAndAFreeRotationWritesOne) {
    MarkRegistered("[Image]\nAutoRotate=N\n");
    TKelvoImageForm& form = Start();
    form.LoadImageFile(MakeSidewaysPhoto());
    form.OneToOne1Click();
    FDialogs.AnswerYes();  // "The selected sub-image is pretty small: are you sure?"
    form.ImageMouseDown(Qt::LeftButton, QPoint(2, 3));
    form.ImageMouseUp(Qt::LeftButton, QPoint(14, 18));
    ASSERT_EQ(Bitmap().Width(), 12);
    EXPECT_EQ(SavedOrientation(), "6");
    form.Undo1->trigger();
    form.Rotate1Click();
    form.Rotate1Click();  // one re-apply at the slider's position
    form.RotationTrackBarForm->hide();
    EXPECT_EQ(SavedOrientation(), "1");
}

namespace {

// A quality-60 camera photo of 64 x 48 stored pixels, orientation 6; the window saves at 95.
class LosslessSave : public AutoRotate {
  protected:
    QString MakeCameraPhoto() {
        const QString path = PathOf(QStringLiteral("camera.JPG"));
        WriteImageFile(path, Noise(64, 48, 11), 60);
        photo_tags::AddCameraMetadata(path, 6, 0, QByteArray());
        FSource = test_files::ReadAll(path);
        return path;
    }
    // Whether a save writes the photo's own coefficients: its quantisation tables show it.
    bool SavesLosslessly(const QString& name = QStringLiteral("out.JPG")) {
        const QString out = PathOf(name);
        Form().SaveImageFile(out);
        return jpeg_tables::SameQuality(test_files::ReadAll(out), FSource);
    }
    QByteArray FSource;
};

}  // namespace

TEST_F(LosslessSave, TurnsAloneAreWrittenFromTheCoefficientsAnyOtherEditIsEncoded) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    const QString photo = MakeCameraPhoto();
    form.LoadImageFile(photo);
    EXPECT_TRUE(SavesLosslessly());  // the upright turn alone
    form.CWButton->trigger();
    form.MirrorButton->trigger();
    EXPECT_TRUE(SavesLosslessly());
    if (jpeg_tables::JpegtranPresent()) {
        // Upright (a quarter clockwise), CW, Mirror: the stored coefficients upside down.
        const QString theirs = PathOf(QStringLiteral("theirs.jpg"));
        ASSERT_TRUE(jpeg_tables::Jpegtran({QStringLiteral("-flip"), QStringLiteral("vertical")},
                                          photo, theirs));
        TBitmap32 ours;
        TBitmap32 reference;
        LoadImageFromFile(PathOf(QStringLiteral("out.JPG")), ours);
        LoadImageFromFile(theirs, reference);
        EXPECT_TRUE(SamePixels(ours, reference));
    }
    EXPECT_EQ(photo_tags::Read(PathOf(QStringLiteral("out.JPG"))).ExifValue("Exif.Image.Orientation"),
              "1");

    form.Negative1->trigger();
    EXPECT_FALSE(SavesLosslessly());
    // Undo brings back exactly the turned pixels.
    form.Undo1->trigger();
    EXPECT_TRUE(SavesLosslessly());

    // Saved over its own file, the photo goes on from there.
    form.Save1->trigger();
    form.CCWButton->trigger();
    EXPECT_TRUE(SavesLosslessly());
    form.HalfButton->trigger();
    EXPECT_FALSE(SavesLosslessly());
}

TEST_F(LosslessSave, ARatingKeepsTurnsLossless) {
    // The rating rewrites the file's XMP segment, not its coefficients: turns before and after
    // it still save from them.
    MarkRegistered();
    TKelvoImageForm& form = Start();
    const QString photo = MakeCameraPhoto();
    form.LoadImageFile(photo);
    form.CWButton->trigger();
    QTest::keyClick(&form, Qt::Key_4);
    ASSERT_NE(test_files::ReadAll(photo), FSource) << "the rating went into the file";
    form.MirrorButton->trigger();
    EXPECT_TRUE(SavesLosslessly());
    EXPECT_TRUE(test_files::ReadAll(PathOf(QStringLiteral("out.JPG"))).contains("xmp:Rating=\"4\""));
}
