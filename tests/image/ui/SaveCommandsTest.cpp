// The save commands of the main window: which file is written, what the Save dialog is asked,
// what lands in the file, and that "Convert &To" never deletes the only copy of the picture.

#include <unistd.h>
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <array>
#include <iterator>

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/ui/MainWindowFixture.h"

namespace {

class SaveCommands : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartWith(const QByteArray& settings = {}) {
        MarkRegistered(settings);
        return Start();
    }
    void SetImage(int width, int height, TColor32 color) {
        Bitmap().SetSize(width, height);
        Bitmap().Clear(color);
    }
    // A JPEG written by the program's own encoder, then loaded as the current file.
    QString LoadNewJpeg(const QString& name, int width = 8, int height = 6) {
        TBitmap32 image;
        image.SetSize(width, height);
        image.Clear(0xFF3366CCu);
        const QString path = PathOf(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteImageFile(path + QStringLiteral(".JPG"), image, 90);
        QFile::remove(path);
        EXPECT_TRUE(QFile::rename(path + QStringLiteral(".JPG"), path));
        Form().LoadImageFile(path);
        return path;
    }
    QStringList Entries(const QString& folder = {}) const {
        return QDir(folder.isEmpty() ? FDir.path() : folder)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }
    static QByteArray Contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static TBitmap32 Load(const QString& path) {
        TBitmap32 image;
        LoadImageFromFile(path, image);
        return image;
    }
    const FileDialogRequest& LastSaveRequest() const {
        for (auto it = FDialogs.Shown().rbegin(); it != FDialogs.Shown().rend(); ++it)
            if (it->DialogKind == ScriptedDialogs::Kind::SaveFile) return it->File;
        static const FileDialogRequest none;
        ADD_FAILURE() << "no Save dialog was shown";
        return none;
    }
};

TEST_F(SaveCommands, SaveWithAnEmptyNameWritesNothingAndSaysSo) {
    TKelvoImageForm& form = StartWith();
    SetImage(4, 4, 0x00102030u);
    form.OpenDialog1.FileName.clear();
    const QStringList before = Entries();
    form.Save1->trigger();
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(FDialogs.Errors(),
              QStringList{QStringLiteral("Nothing written: the picture shown has no file name; "
                                         "choose one with Save As.")});
}

// A phone's or camera's file cannot be written back: "Save &As" proposes the JPEG it becomes.
TEST_F(SaveCommands, SaveAsOfAPhoneOrCameraFileProposesAJpeg) {
    TKelvoImageForm& form = StartWith();
    for (const char* name : {"IMG_0001.HEIC", "photo.webp", "DSC_0001.NEF"}) {
        SCOPED_TRACE(name);
        const QString photo = LoadNewJpeg(QLatin1String(name));
        FDialogs.CancelFile();
        form.SaveAs1->trigger();
        const QString base = photo.left(photo.lastIndexOf(QLatin1Char('.')));
        EXPECT_EQ(LastSaveRequest().FileName, base + QStringLiteral(".JPG"));
    }
}

TEST_F(SaveCommands, AJpegEndingIsNoSaveTypeAndSaveAsProposesTheBareName) {
    TKelvoImageForm& form = StartWith();
    const QString photo = LoadNewJpeg(QStringLiteral("photo.jpeg"));
    const QByteArray original = Contents(photo);
    const QStringList before = Entries();

    form.Save1->trigger();
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(Contents(photo), original);
    EXPECT_EQ(FDialogs.Errors(),
              QStringList{QStringLiteral("Nothing written: '") + photo +
                          QStringLiteral("' does not end with .JPG, .GIF, .PNG or .BMP.")});

    const QString saved = PathOf(QStringLiteral("photo.JPG"));
    FDialogs.AnswerFile(saved);
    form.SaveAs1->trigger();
    const FileDialogRequest& request = LastSaveRequest();
    EXPECT_EQ(request.FileName, PathOf(QStringLiteral("photo")));
    EXPECT_EQ(request.DefaultSuffix, QStringLiteral("JPG"));
    EXPECT_EQ(request.Filters,
              QStringList({QStringLiteral("JPEG|*.JPG"), QStringLiteral("GIF|*.GIF"),
                           QStringLiteral("BMP |*.BMP"), QStringLiteral("PNG|*.PNG"),
                           QStringLiteral("All Files|*.JPG;*.GIF;*.BMP;*.PNG")}));
    EXPECT_EQ(form.CurrentFileName(), saved);
    EXPECT_EQ(Load(saved).Width(), 8);
}

TEST_F(SaveCommands, TheProposedNameLosesOnlyTheFileNamesExtension) {
    struct Case {
        const char* current;
        const char* proposed;
    };
    const Case cases[] = {
        {"cat.jpg", "cat"},
        {"my.photos/cat.jpg", "my.photos/cat"},
        {"my.photos/cat", "my.photos/cat"},
        {"a.b.c.jpg", "a.b.c"},
    };
    TKelvoImageForm& form = StartWith();
    SetImage(2, 2, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        form.OpenDialog1.FileName = PathOf(QLatin1String(c.current));
        FDialogs.CancelFile();
        form.SaveAs1->trigger();
        EXPECT_EQ(LastSaveRequest().FileName, PathOf(QLatin1String(c.proposed)));
        EXPECT_EQ(form.CurrentFileName(), PathOf(QLatin1String(c.current))) << "cancel keeps it";
    }
    EXPECT_TRUE(
        QDir(FDir.path()).entryList({QStringLiteral("*.JPG"), QStringLiteral("*.jpg")}).isEmpty());
}

TEST_F(SaveCommands, SaveConfirmDecidesWhetherTheDialogAsksBeforeReplacing) {
    TKelvoImageForm& form = StartWith();
    SetImage(2, 2, 0);
    for (const bool confirm : {true, false}) {
        SCOPED_TRACE(confirm);
        form.SaveConfirm1->setChecked(confirm);
        FDialogs.CancelFile();
        form.SaveAs1->trigger();
        EXPECT_EQ(LastSaveRequest().ConfirmOverwrite, confirm);
        FDialogs.CancelFile();
        form.ConvertTo1->trigger();
        EXPECT_EQ(LastSaveRequest().ConfirmOverwrite, confirm);
        FDialogs.CancelFile();
        form.SaveAsTransparentGIF1->trigger();
        EXPECT_EQ(LastSaveRequest().ConfirmOverwrite, confirm);
    }
}

TEST_F(SaveCommands, TheDialogKeepsTheLastFilterButTheTransparentGifStartsAtGif) {
    TKelvoImageForm& form = StartWith();
    SetImage(2, 2, 0);
    form.OpenDialog1.FileName = PathOf(QStringLiteral("pic.jpg"));

    FDialogs.AnswerFile(PathOf(QStringLiteral("pic.PNG")), 4);
    form.SaveAs1->trigger();
    EXPECT_EQ(LastSaveRequest().FilterIndex, 1);

    FDialogs.CancelFile();
    form.SaveAs1->trigger();
    EXPECT_EQ(LastSaveRequest().FilterIndex, 4) << "the entry chosen last time";

    FDialogs.AnswerFile(PathOf(QStringLiteral("see.GIF")), 3);
    form.SaveAsTransparentGIF1->trigger();
    EXPECT_EQ(LastSaveRequest().FilterIndex, 2);
    EXPECT_EQ(LastSaveRequest().DefaultSuffix, QStringLiteral("GIF"))
        << "a name typed without an ending becomes a .GIF";
    EXPECT_EQ(LastSaveRequest().FileName, PathOf(QStringLiteral("pic.GIF")));
    EXPECT_EQ(form.CurrentFileName(), PathOf(QStringLiteral("see.GIF")));

    FDialogs.CancelFile();
    form.SaveAs1->trigger();
    EXPECT_EQ(LastSaveRequest().FilterIndex, 1) << "set back to the first entry";
    EXPECT_EQ(LastSaveRequest().DefaultSuffix, QStringLiteral("JPG"));
}

TEST_F(SaveCommands, GifColoursAreReducedToTheCube) {
    // Each channel value next to its level, at both ends of every level's range.
    const struct {
        int value;
        int level;
    } levels[] = {{0, 0},     {47, 0},    {48, 51},   {98, 51},   {99, 102},  {149, 102},
                  {150, 153}, {200, 153}, {201, 204}, {251, 204}, {252, 255}, {255, 255}};
    const int n = int(std::size(levels));
    // Pixel i carries three different values, so a channel mix-up shows.
    auto channels = [&](int i) { return std::array{i, (i + 4) % n, (i + 9) % n}; };
    TKelvoImageForm& form = StartWith();
    Bitmap().SetSize(n, 1);
    for (int i = 0; i < n; ++i) {
        const auto [r, g, b] = channels(i);
        Bitmap().SetPixel(i, 0,
                          TColor32(levels[r].value << 16 | levels[g].value << 8 | levels[b].value));
    }
    const QString gif = PathOf(QStringLiteral("x.GIF"));
    FDialogs.AnswerFile(gif);
    form.SaveAs1->trigger();

    const TBitmap32 read = Load(gif);
    ASSERT_EQ(read.Width(), n);
    for (int i = 0; i < n; ++i) {
        const auto [r, g, b] = channels(i);
        EXPECT_EQ(read.GetPixel(i, 0) & 0xFFFFFFu,
                  TColor32(levels[r].level << 16 | levels[g].level << 8 | levels[b].level))
            << "pixel " << i;
    }
}

TEST_F(SaveCommands, TransparentGifHidesExactlyTheBottomLeftColour) {
    TKelvoImageForm& form = StartWith();
    // Bottom-left white; a near-white that reduces to white must stay visible.
    Bitmap().SetSize(3, 2);
    Bitmap().Clear(0x00FFFFFFu);
    Bitmap().SetPixel(0, 0, 0x00FDFDFDu);
    Bitmap().SetPixel(1, 0, 0x00C86430u);
    form.OpenDialog1.FileName = PathOf(QStringLiteral("t.jpg"));
    const QString gif = PathOf(QStringLiteral("t.GIF"));
    FDialogs.AnswerFile(gif);
    form.SaveAsTransparentGIF1->trigger();

    const TBitmap32 read = Load(gif);  // transparent pixels are drawn over black
    ASSERT_EQ(read.Width(), 3);
    EXPECT_EQ(read.GetPixel(0, 0), 0xFFFFFFFFu) << "(253,253,253) stays, as white";
    EXPECT_EQ(read.GetPixel(1, 0), 0xFF996633u);
    for (const QPoint p : {QPoint(2, 0), QPoint(0, 1), QPoint(1, 1), QPoint(2, 1)})
        EXPECT_EQ(read.GetPixel(p.x(), p.y()), 0xFF000000u) << p.x() << "," << p.y();
    EXPECT_EQ(form.CurrentFileName(), gif);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SaveCommands, UniqueNamesFillTheFirstGapAndLeaveTheCurrentNameAlone) {
    TKelvoImageForm& form = StartWith();
    const QString current = LoadNewJpeg(QStringLiteral("shots/current.jpg"));
    const QString folder = QFileInfo(current).absolutePath() + QLatin1Char('/');
    for (const char* taken : {"Unique001.JPG", "Unique003.JPG"}) {
        QFile file(folder + QLatin1String(taken));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    form.UpdateCaption();
    const QString caption = form.Caption();

    form.SaveUnique1->trigger();
    EXPECT_EQ(Load(folder + QStringLiteral("Unique002.JPG")).Width(), 8);
    EXPECT_EQ(form.CurrentFileName(), current);
    EXPECT_EQ(form.Caption(), caption);

    // A folder of the name is taken as well.
    ASSERT_TRUE(QDir().mkdir(folder + QStringLiteral("Unique004.JPG")));
    form.SaveUnique1->trigger();
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("Unique004.JPG")).isDir());
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("Unique005.JPG")));
    EXPECT_TRUE(FDialogs.Shown().empty());
}

TEST_F(SaveCommands, SaveAsToANameThatIsNoSaveTypeSaysSoAndKeepsTheName) {
    TKelvoImageForm& form = StartWith();
    SetImage(3, 3, 0);
    for (const char* name : {"x.tif", "x.jpeg", "x"}) {
        SCOPED_TRACE(name);
        const QString chosen = PathOf(QLatin1String(name));
        FDialogs.AnswerFile(chosen);
        form.SaveAs1->trigger();
        EXPECT_EQ(FDialogs.Errors().last(), FormatErrorMessage(NoSaveTypeMessage(chosen)));
        EXPECT_EQ(form.CurrentFileName(), chosen);
        EXPECT_FALSE(QFileInfo::exists(chosen));
    }
}

TEST_F(SaveCommands, WhenAll999UniqueNamesAreTakenNothingIsWrittenAndTheUserIsTold) {
    TKelvoImageForm& form = StartWith();
    SetImage(3, 3, 0);
    const QString folder = PathOf(QStringLiteral("full/"));
    ASSERT_TRUE(QDir().mkpath(folder));
    form.OpenDialog1.FileName = folder + QStringLiteral("x.jpg");
    for (int i = 1; i <= 999; ++i) {
        QFile file(folder + QStringLiteral("Unique%1.JPG").arg(i, 3, 10, QLatin1Char('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    form.SaveUnique1->trigger();
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    EXPECT_EQ(files.size(), 999);
    for (const QFileInfo& file : files)
        ASSERT_EQ(file.size(), 0) << file.fileName().toStdString();
    EXPECT_EQ(FDialogs.Errors(),
              QStringList{QStringLiteral("Nothing written: Unique001.JPG to Unique999.JPG all "
                                         "exist in \"") +
                          QDir(folder).absolutePath() + QStringLiteral("\"")});
}

TEST_F(SaveCommands, JpegQualityIsReadAfreshForEverySave) {
    TKelvoImageForm& form = StartWith("[JPEG]\nQuality=100\n");
    Bitmap().SetSize(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            Bitmap().SetPixel(x, y, TColor32((x * 4) << 16 | (y * 4) << 8 | ((x * y) & 0xFF)));
    const QString jpeg = PathOf(QStringLiteral("q.JPG"));
    form.OpenDialog1.FileName = jpeg;
    const QStringList entriesBefore = Entries();

    form.Save1->trigger();
    const qint64 best = QFileInfo(jpeg).size();
    TIniFile(SettingsFile()).WriteInteger(QStringLiteral("JPEG"), QStringLiteral("Quality"), 1);
    form.Save1->trigger();
    const qint64 worst = QFileInfo(jpeg).size();
    EXPECT_GT(best, worst);
    EXPECT_GT(worst, 0);

    FDialogs.AnswerText(QStringLiteral("100"));
    form.JPEGQuality1->trigger();
    EXPECT_EQ(form.JPEGQuality1->text(), QStringLiteral("JPEG Quality (100)"));
    EXPECT_EQ(Setting("JPEG", "Quality"), QStringLiteral("100"));
    form.Save1->trigger();
    EXPECT_EQ(QFileInfo(jpeg).size(), best);
    QStringList expected = entriesBefore;
    expected << QStringLiteral("q.JPG");
    expected.sort();
    EXPECT_EQ(Entries(), expected) << "no temporary file stays behind";
}

TEST_F(SaveCommands, ABmpAfterHalvingHoldsAlphaZeroInEveryPixel) {
    TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n");
    SetImage(6, 4, 0xFF405060u);
    form.HalfButton->trigger();
    ASSERT_EQ(Bitmap().Width(), 3);
    ASSERT_EQ(Bitmap().GetPixel(0, 0), 0x00405060u);
    const QString bmp = PathOf(QStringLiteral("half.BMP"));
    FDialogs.AnswerFile(bmp);
    form.SaveAs1->trigger();

    const QByteArray bytes = Contents(bmp);
    ASSERT_GE(bytes.size(), 54);
    const quint32 offset = qFromLittleEndian<quint32>(bytes.constData() + 10);
    ASSERT_EQ(qint64(bytes.size()) - offset, 3 * 2 * 4);
    for (qsizetype i = offset; i < bytes.size(); i += 4) {
        EXPECT_EQ(quint8(bytes[i]), 0x60);
        EXPECT_EQ(quint8(bytes[i + 1]), 0x50);
        EXPECT_EQ(quint8(bytes[i + 2]), 0x40);
        EXPECT_EQ(quint8(bytes[i + 3]), 0) << "alpha byte at " << i;
    }
}

TEST_F(SaveCommands, AFailedSaveIsReportedAndPutsTheHourglassAway) {
    TKelvoImageForm& form = StartWith();
    SetImage(2, 2, 0);
    for (const char* name : {"missing/a.PNG", "missing/a.JPG", "missing/a.BMP", "missing/a.GIF"}) {
        SCOPED_TRACE(name);
        form.OpenDialog1.FileName = PathOf(QLatin1String(name));
        const qsizetype errors = FDialogs.Errors().size();
        form.Save1->trigger();
        EXPECT_EQ(FDialogs.Errors().size(), errors + 1);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    FDialogs.AnswerFile(PathOf(QStringLiteral("missing/t.GIF")));
    form.SaveAsTransparentGIF1->trigger();
    EXPECT_EQ(FDialogs.Errors().size(), 5);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("missing"))));
}

bool CaseSensitiveFolder(const QString& folder) {
    QFile probe(folder + QStringLiteral("/case-probe"));
    if (!probe.open(QIODevice::WriteOnly)) return true;
    probe.close();
    const bool sensitive = !QFileInfo::exists(folder + QStringLiteral("/CASE-PROBE"));
    probe.remove();
    return sensitive;
}

TEST_F(SaveCommands, ConvertToDeletesTheOldFileOnlyWhenThePictureLivesOnElsewhere) {
    struct Case {
        const char* name;
        const char* chosen;  // relative to the folder
        // Prepares the chosen name from the old file's path (a link, say).
        std::function<void(const QString& old, const QString& chosen)> prepare;
        bool oldSurvives;
        bool chosenExists;
    };
    const bool caseSensitive = CaseSensitiveFolder(FDir.path());
    const Case cases[] = {
        {"onto itself", "cat.jpg", nullptr, true, true},
        {"onto itself through ./", "./cat.jpg", nullptr, true, true},
        {"onto a hard link of it", "link.jpg",
         [](const QString& old, const QString& chosen) {
             ASSERT_EQ(
                 ::link(QFile::encodeName(old).constData(), QFile::encodeName(chosen).constData()),
                 0);
         },
         true, true},
        {"onto a symbolic link to it", "sym.jpg",
         [](const QString& old, const QString& chosen) { ASSERT_TRUE(QFile::link(old, chosen)); },
         true, true},
        {"onto an ending that is no save type", "cat.tif", nullptr, true, false},
        {"onto a folder that does not exist", "missing/cat.PNG", nullptr, true, false},
        {"onto a new PNG", "cat.PNG", nullptr, false, true},
        {"onto the name in capitals", "CAT.JPG", nullptr, !caseSensitive, true},
    };
    TKelvoImageForm& form = StartWith();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& entry : Entries())
            if (entry != QLatin1String("KelvoImage.Ini")) QFile::remove(PathOf(entry));
        const QString old = LoadNewJpeg(QStringLiteral("cat.jpg"));
        const QString chosen = PathOf(QLatin1String(c.chosen));
        if (c.prepare) c.prepare(old, chosen);

        FDialogs.AnswerFile(chosen);
        form.ConvertTo1->trigger();

        EXPECT_EQ(QFileInfo::exists(old), c.oldSurvives);
        if (c.oldSurvives) {
            EXPECT_EQ(Load(old).Width(), 8) << "still a whole picture";
        }
        EXPECT_EQ(QFileInfo::exists(chosen), c.chosenExists);
        if (c.chosenExists) {
            EXPECT_EQ(Load(chosen).Width(), 8);
        }
        EXPECT_EQ(form.CurrentFileName(), chosen);
    }
    FDialogs.CancelFile();
    const QString old = form.CurrentFileName();
    form.ConvertTo1->trigger();
    EXPECT_TRUE(QFileInfo::exists(old)) << "cancel deletes nothing";
}

}  // namespace

namespace {

TEST_F(SaveCommands, ConvertToLeavesTheFolderListNamingTheNewFile) {
    TKelvoImageForm& form = StartWith();
    const QString old = LoadNewJpeg(QStringLiteral("cat.jpg"));
    const QString other = PathOf(QStringLiteral("dog.jpg"));
    form.FFileList = {other, old, old + QStringLiteral(".GIF")};
    form.FFileIndex = 1;
    const QString chosen = PathOf(QStringLiteral("cat.PNG"));
    FDialogs.AnswerFile(chosen);
    form.ConvertTo1->trigger();
    ASSERT_FALSE(QFileInfo::exists(old));
    EXPECT_EQ(form.FFileList, QStringList({other, chosen, old + QStringLiteral(".GIF")}));
    EXPECT_EQ(form.FFileIndex, 1);

    // A conversion that keeps the old file leaves the list alone.
    const QString kept = LoadNewJpeg(QStringLiteral("keep.jpg"));
    form.FFileList = {kept};
    FDialogs.AnswerFile(PathOf(QStringLiteral("keep.tif")));
    form.ConvertTo1->trigger();
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_EQ(form.FFileList, QStringList{kept});
}

}  // namespace
