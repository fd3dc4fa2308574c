// "Auto Rotate" and the camera tags in the window: a sideways photo shown upright, the stored
// choice, and the tags of the saved file after the edits, undo and paste.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/PhotoTags.h"
#include "support/ui/MainWindowFixture.h"

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
