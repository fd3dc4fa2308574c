// A large JPEG shown fitted comes up from its reduced decode, and the full decode follows on a
// thread: every command that reads the pixels meanwhile waits for it and does exactly what it
// does after a plain load, Undo and saves included; a load of another file cancels it; the
// slideshow shows full pictures only.

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include "support/CameraJpeg.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"
#include "support/ui/MainWindowFixture.h"
#include "image/ImageLoader.h"

namespace {

class ReducedDecodeFirst : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        MarkRegistered("[Image]\nOneToOne=No\n[Confirmations]\nSave=No\n");
        // Stored sideways: the full decode turns it upright as the reduced one does. Far
        // larger than the offscreen screen (800 x 600), so it is decoded at 1/4 first.
        camera_jpeg::Write(PathOf(QStringLiteral("big.jpg")), {3200, 2400, 6, 3144, 90});
        camera_jpeg::Write(PathOf(QStringLiteral("other.jpg")), {2400, 1800, 1, 0, 90});
        Start();
        Form().Fit1Click();
    }
    QString Big() const { return PathOf(QStringLiteral("big.jpg")); }
    QString Other() const { return PathOf(QStringLiteral("other.jpg")); }
    TImageView& View() { return *Form().Image; }

    // Loads path the way the window loads it, reduced first or whole.
    void Load(const QString& path, bool reducedFirst) {
        View().SetReducedDecodeFirst(reducedFirst);
        Form().LoadImageFile(path);
        ASSERT_EQ(View().FullDecodePending(), reducedFirst) << path.toStdString();
    }
    // Lets the event loop run until the full decode has been swapped in by itself.
    void WaitForSwap() {
        QElapsedTimer timer;
        timer.start();
        while (View().FullDecodePending() && timer.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_FALSE(View().FullDecodePending());
    }
    QByteArray Pixels() {
        const TBitmap32& image = Bitmap();
        return QByteArray(reinterpret_cast<const char*>(image.Bits()),
                          qsizetype(image.ByteCount()));
    }
};

TEST_F(ReducedDecodeFirst, ShowsTheFullPicturesGeometryAndSwapsItInUnseen) {
    Load(Big(), false);
    const QByteArray plain = Pixels();
    const QSize plainShown = View().DisplayedSize();
    const QPoint plainPoint = View().ControlToBitmap({100, 100});

    Load(Big(), true);
    // Everything the window measures is the full picture's already.
    EXPECT_EQ(View().PictureSize(), QSize(2400, 3200));
    EXPECT_EQ(View().DisplayedSize(), plainShown);
    EXPECT_EQ(View().ControlToBitmap({100, 100}), plainPoint);
    View().repaint();
    WaitForSwap();
    EXPECT_EQ(View().DisplayedSize(), plainShown);
    // Swapped in with its smooth copy made: the next paint never shows a nearest-pixel frame.
    EXPECT_TRUE(View().SmoothCopyReady());
    EXPECT_EQ(Pixels(), plain);
}

TEST_F(ReducedDecodeFirst, CommandsWaitAndActOnTheFullPicture) {
    // The negative, a turn, a mirror, Undo and the pixel readout: each after a plain load, then
    // started while the full decode runs.
    const std::vector<std::pair<const char*, std::function<void()>>> commands = {
        {"negative", [this] { Form().Negative1->trigger(); }},
        {"turn", [this] { Form().CWButton->trigger(); }},
        {"mirror", [this] { Form().MirrorButton->trigger(); }},
        {"readout", [this] { Form().ImageMouseMove({120, 90}); }},
        {"undo after negative",
         [this] {
             Form().Negative1->trigger();
             Form().Undo1->trigger();
         }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        Load(Big(), false);
        command();
        const QByteArray plain = Pixels();
        const QSize plainSize(Bitmap().Width(), Bitmap().Height());
        const QSize plainUndo(Form().FUndoImage.Width(), Form().FUndoImage.Height());
        const QString plainReadout = Form().FPixelText;

        Load(Big(), true);
        command();
        EXPECT_FALSE(View().FullDecodePending());
        EXPECT_EQ(QSize(Bitmap().Width(), Bitmap().Height()), plainSize);
        EXPECT_EQ(QSize(Form().FUndoImage.Width(), Form().FUndoImage.Height()), plainUndo);
        EXPECT_TRUE(Pixels() == plain);
        EXPECT_EQ(Form().FPixelText, plainReadout);
    }
    EXPECT_FALSE(Form().FPixelText.isEmpty());
}

TEST_F(ReducedDecodeFirst, SavesWaitAndWriteWhatAPlainLoadWrites) {
    // A turn and a save: the lossless path needs the full pixels to be the file's exactly.
    Load(Big(), false);
    Form().CWButton->trigger();
    const QString plainSave = PathOf(QStringLiteral("plain.jpg"));
    Form().SaveImageFile(plainSave);

    Load(Big(), true);
    Form().CWButton->trigger();
    const QString reducedSave = PathOf(QStringLiteral("reduced.jpg"));
    Form().SaveImageFile(reducedSave);
    EXPECT_EQ(test_files::ReadAll(reducedSave), test_files::ReadAll(plainSave));

    // A save started while the full decode runs, nothing done before it.
    Load(Big(), true);
    const QString direct = PathOf(QStringLiteral("direct.png"));
    Form().SaveImageFile(direct);
    EXPECT_FALSE(View().FullDecodePending());
    TBitmap32 written;
    LoadImageFromFile(direct, written);
    TBitmap32 plain;
    LoadPhotoFromFile(Big(), plain, true);
    EXPECT_TRUE(SamePixels(written, plain));
}

TEST_F(ReducedDecodeFirst, AnotherLoadCancelsTheFullDecode) {
    TBitmap32 other;
    LoadPhotoFromFile(Other(), other, true);
    for (const bool otherReduced : {true, false}) {
        SCOPED_TRACE(otherReduced);
        Load(Big(), true);
        // Painted, so the full decode has started (it takes far longer than the wait) when the
        // other load comes.
        View().repaint();
        QTest::qWait(5);
        Load(Other(), otherReduced);
        if (otherReduced) WaitForSwap();
        // The cancelled decode's end, had it been posted, swaps nothing in.
        QTest::qWait(50);
        EXPECT_TRUE(SamePixels(Bitmap(), other));
        EXPECT_EQ(View().PictureSize(), QSize(2400, 1800));
    }
    // And the window may go while a full decode runs.
    Load(Big(), true);
}

TEST_F(ReducedDecodeFirst, TheSlideshowShowsFullPicturesOnly) {
    Form().FFileList = {Big(), Other()};
    Form().FFileIndex = 0;
    Form().FMoviePlaying = true;
    Form().MovieTimerTimer();
    EXPECT_FALSE(View().FullDecodePending());
    EXPECT_EQ(QSize(Bitmap().Width(), Bitmap().Height()), QSize(2400, 3200));
    Form().FMoviePlaying = false;
}

}  // namespace
