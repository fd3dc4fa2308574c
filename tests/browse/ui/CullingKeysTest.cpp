// Sorting a folder from the keyboard: each key does what its toolbar button does, with the
// toolbar hidden too; the rating keys write the photo's XMP; "Date Taken Order".

#include <QAction>
#include <QKeySequence>
#include <QMenuBar>
#include <QTest>
#include <set>

#include "browse/FolderList.h"
#include "browse/PhotoRating.h"
#include "browse/ui/BrowseWindowFixture.h"
#include "support/CameraFormats.h"
#include "support/TaggedJpeg.h"
#include "support/TestFiles.h"

namespace {

using browse_test::ReadFile;
using browse_test::SetModified;

class CullingKeys : public BrowseWindowFixture {
  protected:
    // The toolbar hidden (the default), deleting asks unless confirm is false.
    TKelvoImageForm& StartHidden(bool confirm = true, const QByteArray& more = {}) {
        MarkRegistered("[Confirmations]\nDelete=" + QByteArray(confirm ? "Y" : "N") + "\n" + more);
        TKelvoImageForm& form = Start();
        EXPECT_FALSE(form.PellsTools1->isChecked());
        return form;
    }
    // Folder "card" with a.jpg, b.jpg, c.jpg (1, 2, 3 pixels wide), listed by name.
    void ListCard(TKelvoImageForm& form) {
        FFolder = MakeFolder(QStringLiteral("card"));
        int width = 0;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
            MakePicture(InFolder(name), ++width);
        FDialogs.AnswerFolder(FFolder);
        form.AlphaSB->click();
        ASSERT_EQ(form.FFileList.size(), 3);
        ASSERT_EQ(ShownWidth(), 1);
    }
    QString InFolder(const QString& name) const { return FFolder + QLatin1Char('/') + name; }
    void Press(TKelvoImageForm& form, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&form, Qt::Key(key), modifiers);
    }

    QString FFolder;
};

TEST_F(CullingKeys, SteppingKeysWithTheToolbarHidden) {
    TKelvoImageForm& form = StartHidden();
    ListCard(form);
    struct Step {
        int Key;
        int Index;
        int Width;
    } steps[] = {
        {Qt::Key_PageUp, 0, 1},  // "Prev" is disabled on the first entry
        {Qt::Key_PageDown, 1, 2}, {Qt::Key_PageDown, 2, 3},
        {Qt::Key_PageDown, 2, 3},  // and "Next" on the last
        {Qt::Key_PageUp, 1, 2},   {Qt::Key_Home, 0, 1}, {Qt::Key_End, 2, 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(QKeySequence(step.Key).toString().toStdString());
        Press(form, step.Key);
        EXPECT_EQ(form.FFileIndex, step.Index);
        EXPECT_EQ(ShownWidth(), step.Width);
    }
    // Home and End pass over files that are gone, as "Next" does.
    ASSERT_TRUE(QFile::remove(InFolder("a.jpg")));
    Press(form, Qt::Key_Home);
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_TRUE(FDialogs.Log().filter(QStringLiteral("Error")).isEmpty()) << FDialogs.Log().join('\n').toStdString();
}

TEST_F(CullingKeys, DeleteAndRenameKeysAskAsTheirButtons) {
    TKelvoImageForm& form = StartHidden(true);
    ListCard(form);

    // Delete: "Del + Next", with its question.
    FDialogs.AnswerYes();
    Press(form, Qt::Key_Delete);
    EXPECT_EQ(FDialogs.Prompts().last(), "Delete \"" + InFolder("a.jpg") + "\"?");
    EXPECT_TRUE(QFile::exists(TrashFile("a.jpg")));
    EXPECT_EQ(ShownWidth(), 2);

    // Shift+Delete: "Del", which keeps the picture up; answered No, nothing goes.
    FDialogs.AnswerNo();
    Press(form, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(FDialogs.Prompts().last(), "Delete \"" + InFolder("b.jpg") + "\"?");
    EXPECT_TRUE(QFile::exists(InFolder("b.jpg")));
    EXPECT_EQ(form.FFileIndex, 1);

    // F2: "Rename + Next".
    FDialogs.AnswerText(QStringLiteral("kept"));
    Press(form, Qt::Key_F2);
    EXPECT_TRUE(QFile::exists(InFolder("kept.jpg")));
    EXPECT_FALSE(QFile::exists(InFolder("b.jpg")));
    EXPECT_EQ(form.FFileIndex, 2);
    EXPECT_EQ(ShownWidth(), 3);
}

TEST_F(CullingKeys, NoFolderListNoAction) {
    TKelvoImageForm& form = StartHidden(true);
    const QString single = MakePicture(PathOf("single.jpg"), 5);
    FDialogs.AnswerFile(single);
    form.OpenButton->trigger();
    ASSERT_EQ(ShownWidth(), 5);
    const qsizetype shownBefore = qsizetype(FDialogs.Shown().size());
    for (int key : {Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_End, Qt::Key_Delete,
                    Qt::Key_F2})
        Press(form, key);
    EXPECT_EQ(qsizetype(FDialogs.Shown().size()), shownBefore) << FDialogs.Log().join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(single));
    EXPECT_EQ(ShownWidth(), 5);
}

TEST_F(CullingKeys, KeysCollideWithNoMenuShortcut) {
    TKelvoImageForm& form = StartHidden();
    EXPECT_EQ(form.Save1->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    const QList<QKeySequence> cullingKeys = {
        QKeySequence(Qt::Key_PageDown), QKeySequence(Qt::Key_PageUp), QKeySequence(Qt::Key_Home),
        QKeySequence(Qt::Key_End),      QKeySequence(Qt::Key_Delete),
        QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::Key_F2),
        QKeySequence(Qt::Key_0), QKeySequence(Qt::Key_1), QKeySequence(Qt::Key_2),
        QKeySequence(Qt::Key_3), QKeySequence(Qt::Key_4), QKeySequence(Qt::Key_5),
        QKeySequence(Qt::Key_P), QKeySequence(Qt::Key_X), QKeySequence(Qt::Key_Space),
        QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Escape)};
    std::set<QString> seen;
    for (const QKeySequence& key : cullingKeys)
        seen.insert(key.toString());
    for (QAction* item : form.findChildren<QAction*>()) {
        if (item->shortcut().isEmpty()) continue;
        EXPECT_TRUE(seen.insert(item->shortcut().toString()).second)
            << item->text().toStdString() << " uses " << item->shortcut().toString().toStdString();
    }
}

TEST_F(CullingKeys, CtrlSSavesAsTheMenuItem) {
    TKelvoImageForm& form = StartHidden();
    ListCard(form);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const QByteArray before = *ReadFile(InFolder("a.jpg"));
    form.Negative1->trigger();
    Press(form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(*ReadFile(InFolder("a.jpg")), before) << FDialogs.Log().join('\n').toStdString();
}

// Everything of a JPEG from its first SOS marker on: the picture's coded data.
QByteArray ScanData(const QByteArray& jpeg) {
    return jpeg.mid(jpeg.indexOf(QByteArray("\xFF\xDA", 2)));
}

// The XMP packet inside a file, wrapper included; empty without one.
QByteArray XmpPacketOf(const QByteArray& file) {
    const qsizetype begin = file.indexOf("<?xpacket begin");
    const qsizetype end = file.indexOf("<?xpacket end", begin);
    if (begin < 0 || end < 0) return {};
    return file.mid(begin, file.indexOf("?>", end) + 2 - begin);
}

TEST_F(CullingKeys, RatingKeysWriteTheXmpAndTheCaptionShowsIt) {
    TKelvoImageForm& form = StartHidden();
    ListCard(form);
    const QByteArray before = *ReadFile(InFolder("a.jpg"));

    struct Case {
        int Key;
        TPhotoRating Rating;
        const char* Caption;
    } cases[] = {
        {Qt::Key_3, {3, false}, "★★★☆☆"},
        {Qt::Key_P, {3, true}, "★★★☆☆ picked"},
        {Qt::Key_P, {3, false}, "★★★☆☆"},  // P again takes the pick back
        {Qt::Key_X, {-1, false}, "rejected"},
        {Qt::Key_X, {0, false}, ""},
        {Qt::Key_5, {5, false}, "★★★★★"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.Key).toString().toStdString());
        Press(form, c.Key);
        const QByteArray file = *ReadFile(InFolder("a.jpg"));
        EXPECT_EQ(ScanData(file), ScanData(before));
        EXPECT_EQ(ReadPhotoRating(InFolder("a.jpg"), XmpPacketOf(file)), c.Rating);
        EXPECT_EQ(form.Caption(),
                  "KelvoImage: " + InFolder("a.jpg") +
                      (*c.Caption ? "  " + QString::fromUtf8(c.Caption) : QString()));
    }
    // A second load reads the rating from the file.
    Press(form, Qt::Key_PageDown);
    EXPECT_EQ(form.Caption(), "KelvoImage: " + InFolder("b.jpg"));
    Press(form, Qt::Key_PageUp);
    EXPECT_EQ(form.Caption(), "KelvoImage: " + InFolder("a.jpg") + "  ★★★★★");

    // A save after the rating keeps it: the picture's kept metadata carries the new XMP.
    form.Save1->trigger();
    form.ReOpenButton->trigger();
    EXPECT_EQ(form.Caption(), "KelvoImage: " + InFolder("a.jpg") + "  ★★★★★");
}

TEST_F(CullingKeys, RatingOfAPngGoesToItsSidecar) {
    TKelvoImageForm& form = StartHidden();
    const QString png = MakePicture(PathOf("scan.png"), 4);
    const QByteArray before = *ReadFile(png);
    FDialogs.AnswerFile(png);
    form.OpenButton->trigger();
    Press(form, Qt::Key_2);
    EXPECT_EQ(*ReadFile(png), before);
    EXPECT_EQ(ReadPhotoRating(png, {}), (TPhotoRating{2, false}));
    EXPECT_TRUE(QFile::exists(PathOf("scan.xmp")));
    form.ReOpenButton->trigger();
    EXPECT_EQ(form.Caption(), "KelvoImage: " + png + "  ★★☆☆☆");
}

TEST_F(CullingKeys, DateTakenOrderIsStoredAndOrdersStartByDate) {
    TKelvoImageForm& form = StartHidden();
    EXPECT_TRUE(form.DateTakenOrder1->isChecked());
    ForgetCaptureDates();
    const QString folder = MakeFolder(QStringLiteral("trip"));
    // Taken first but copied last.
    tagged_jpeg::Write(folder + "/first.jpg",
                       {{"Exif.Photo.DateTimeOriginal", 2, tagged_jpeg::Ascii("2020:01:01 08:00:00")}});
    tagged_jpeg::Write(folder + "/second.jpg",
                       {{"Exif.Photo.DateTimeOriginal", 2, tagged_jpeg::Ascii("2020:01:01 09:00:00")}});
    ASSERT_TRUE(SetModified(folder + "/first.jpg", 1700000100));
    ASSERT_TRUE(SetModified(folder + "/second.jpg", 1700000000));

    FDialogs.AnswerFolder(folder);
    form.ChronoSB->click();
    EXPECT_EQ(ListedNames(), QStringList({"first.jpg", "second.jpg"}));

    form.DateTakenOrder1->trigger();
    EXPECT_FALSE(form.DateTakenOrder1->isChecked());
    EXPECT_EQ(Setting("Image", "DateTaken"), "N");
    FDialogs.AnswerFolder(folder);
    form.ChronoSB->click();
    EXPECT_EQ(ListedNames(), QStringList({"second.jpg", "first.jpg"}));

    // The next start reads the stored choice.
    FForm.reset();
    TKelvoImageForm& again = Start();
    EXPECT_FALSE(again.DateTakenOrder1->isChecked());
}

}  // namespace

namespace {

TEST_F(CullingKeys, RatingOfARawGoesToItsSidecarAndTheRawStaysAsItWas) {
    TKelvoImageForm& form = StartHidden();
    TBitmap32 preview;
    preview.SetSize(24, 16);
    preview.Clear(0xFF406080u);
    const QString previewJpeg = PathOf("preview.jpg");
    WriteImageFile(previewJpeg, preview, 90);
    const QString raw = PathOf("IMG_0007.DNG");
    test_files::WriteAll(raw, camera_formats::DngLikeFile(*ReadFile(previewJpeg), 24, 16, 1));
    const QByteArray before = *ReadFile(raw);
    FDialogs.AnswerFile(raw);
    form.OpenButton->trigger();
    ASSERT_EQ(ShownWidth(), 24);
    Press(form, Qt::Key_X);
    EXPECT_EQ(*ReadFile(raw), before);
    EXPECT_EQ(ReadPhotoRating(raw, {}), (TPhotoRating{-1, false}));
    EXPECT_TRUE(QFile::exists(PathOf("IMG_0007.xmp")));
    form.ReOpenButton->trigger();
    EXPECT_EQ(form.Caption(), "KelvoImage: " + raw + "  rejected");
}

}  // namespace
