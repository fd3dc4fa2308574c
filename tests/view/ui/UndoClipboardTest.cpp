// "&Undo" as an exchange of image and snapshot, "&Copy" and "&Paste" through the system
// clipboard.

#include <QAction>
#include <QMimeData>
#include <cstring>

#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"

namespace {

class UndoClipboard : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartWith(const QByteArray& settings = "[Image]\nOneToOne=Yes\n") {
        MarkRegistered(settings);
        return Start();
    }
    void SetPatternImage(int width, int height) { FillPattern(Bitmap(), width, height); }
    static TColor32 Pattern(int x, int y) { return PatternColor(x, y); }
    static void CopyInto(TBitmap32& target, const TBitmap32& source) { target.Assign(source); }
    QRect Frame() { return Form().frameGeometry(); }
};

TEST_F(UndoClipboard, UndoAfterALoadDoesNothing) {
    const QString file =
        MakeImage(QStringLiteral("a.png"), 40, 30, [](int x, int y) { return qRgb(x, y, 7); });
    TKelvoImageForm& form = StartWith();
    form.LoadImageFile(file);
    TBitmap32 before;
    CopyInto(before, Bitmap());
    const QRect frame = Frame();
    const TUndoBounds bounds = form.FUndoBounds;

    form.Undo1->trigger();

    EXPECT_TRUE(SamePixels(Bitmap(), before));
    EXPECT_EQ(Frame(), frame);
    EXPECT_EQ(form.FUndoBounds.Top, bounds.Top);
    EXPECT_EQ(form.FUndoBounds.Left, bounds.Left);
    EXPECT_TRUE(form.FUndoImage.Empty());
    EXPECT_TRUE(FDialogs.Shown().empty());
}

TEST_F(UndoClipboard, UndoExchangesSoASecondUndoRedoes) {
    TKelvoImageForm& form = StartWith();
    SetPatternImage(7, 4);
    TBitmap32 original;
    CopyInto(original, Bitmap());

    form.CWButton->trigger();
    TBitmap32 turned;
    CopyInto(turned, Bitmap());
    ASSERT_EQ(turned.Width(), 4);

    // The view must learn of the exchange, since no notifying operation runs.
    int changes = 0;
    auto repaint = Bitmap().OnChange;
    Bitmap().OnChange = [&] {
        ++changes;
        if (repaint) repaint();
    };

    form.Undo1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), original)) << "the first undo restores";
    EXPECT_TRUE(SamePixels(form.FUndoImage, turned)) << "the snapshot holds the turned image";
    EXPECT_GT(changes, 0);

    form.Undo1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), turned)) << "the second undo gives the change back";
    EXPECT_TRUE(SamePixels(form.FUndoImage, original));
}

TEST_F(UndoClipboard, UndoExchangesThePositionButKeepsTheRecordedSize) {
    TKelvoImageForm& form = StartWith();
    Bitmap().SetSize(150, 120);
    Bitmap().Clear(0x00123456u);
    form.ResizeForm();
    form.move(40, 30);
    const QRect beforeDouble = Frame();

    form.DoubleButton->trigger();
    ASSERT_EQ(Bitmap().Width(), 300);
    ASSERT_NE(Frame().size(), beforeDouble.size()) << "the window grew with the image";
    // The user drags the doubled image's window somewhere else.
    form.move(90, 70);
    const QRect doubled = Frame();

    form.Undo1->trigger();
    EXPECT_EQ(Bitmap().Width(), 150);
    EXPECT_EQ(Bitmap().Height(), 120);
    EXPECT_EQ(Frame(), beforeDouble) << "position and size before X2";
    EXPECT_EQ(form.FUndoBounds.Top, doubled.top());
    EXPECT_EQ(form.FUndoBounds.Left, doubled.left());
    EXPECT_EQ(form.FUndoBounds.Width, beforeDouble.width()) << "the size is not exchanged";
    EXPECT_EQ(form.FUndoBounds.Height, beforeDouble.height());

    form.Undo1->trigger();
    EXPECT_EQ(Bitmap().Width(), 300);
    EXPECT_EQ(Frame().topLeft(), doubled.topLeft()) << "back where the doubled image was";
    EXPECT_EQ(form.FUndoBounds.Top, beforeDouble.top());
    EXPECT_EQ(form.FUndoBounds.Left, beforeDouble.left());
}

TEST_F(UndoClipboard, ASnapshotWithoutRecordedBoundsDoesNotShrinkTheWindow) {
    TKelvoImageForm& form = StartWith();
    SetPatternImage(400, 300);
    form.SizeClientToImage();
    form.ResizeForm();
    ASSERT_EQ(form.ClientHeight(), 300);
    // Some commands copy only the image; the bounds are still at their start of 0.
    form.FUndoImage.Assign(Bitmap());
    ASSERT_EQ(form.FUndoBounds.Width, 0);
    const QSize size = Frame().size();

    form.Undo1->trigger();

    EXPECT_EQ(Frame().size(), size);
    EXPECT_EQ(form.ClientHeight(), 300);
}

TEST_F(UndoClipboard, UndoDisarmsTheWhiteAndBlackModesOnly) {
    TKelvoImageForm& form = StartWith();
    SetPatternImage(3, 3);
    form.SaveUndoSnapshot();
    bool* const modes[] = {&form.FMakeWhiteMode,   &form.FMakeBlackMode, &form.FBlackWhiteStep1,
                           &form.FBlackWhiteStep2, &form.FMakeGreyMode,  &form.FRemoveCastMode,
                           &form.FSubtractMode};
    for (bool* mode : modes)
        *mode = true;
    form.UpdateCaption();
    const QString caption = form.Caption();
    ASSERT_TRUE(caption.contains(QStringLiteral(" [Click on White]")));

    form.Undo1->trigger();

    EXPECT_FALSE(form.FMakeWhiteMode);
    EXPECT_FALSE(form.FMakeBlackMode);
    EXPECT_FALSE(form.FBlackWhiteStep1);
    EXPECT_FALSE(form.FBlackWhiteStep2);
    EXPECT_TRUE(form.FMakeGreyMode);
    EXPECT_TRUE(form.FRemoveCastMode);
    EXPECT_TRUE(form.FSubtractMode);
    EXPECT_EQ(form.Caption(), caption) << "the caption waits for its next refresh";
}

TEST_F(UndoClipboard, PastingTextChangesNothingButStillRefits) {
    TKelvoImageForm& form = StartWith();
    SetPatternImage(400, 300);
    form.SaveUndoSnapshot();
    TBitmap32 before;
    CopyInto(before, Bitmap());
    form.FResizing = true;
    form.SetClientHeight(500);
    form.SetClientWidth(700);
    form.FResizing = false;
    QGuiApplication::clipboard()->setText(QStringLiteral("no picture here"));

    form.Paste1->trigger();

    EXPECT_TRUE(SamePixels(Bitmap(), before));
    EXPECT_EQ(form.ClientWidth(), 400);
    EXPECT_EQ(form.ClientHeight(), 300);
    EXPECT_TRUE(SamePixels(form.FUndoImage, before)) << "the snapshot is kept";
    EXPECT_TRUE(FDialogs.Shown().empty());
}

TEST_F(UndoClipboard, CopyThenPasteGivesTheSameSizeAndColours) {
    TKelvoImageForm& form = StartWith();
    // Composed pixels have alpha 0: the copy must not turn them transparent.
    SetPatternImage(6, 5);
    Bitmap().SetPixel(0, 0, 0x00FF8000u);
    TBitmap32 original;
    CopyInto(original, Bitmap());

    form.Copy1->trigger();
    const QImage onClipboard = QGuiApplication::clipboard()->image();
    ASSERT_EQ(onClipboard.size(), QSize(6, 5));
    EXPECT_EQ(onClipboard.pixel(0, 0), qRgba(0xFF, 0x80, 0x00, 255)) << "opaque for others";

    Bitmap().SetSize(2, 2);
    Bitmap().Clear(0);
    form.Paste1->trigger();

    ASSERT_EQ(Bitmap().Width(), 6);
    ASSERT_EQ(Bitmap().Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(Bitmap().GetPixel(x, y), original.GetPixel(x, y) | 0xFF000000u)
                << x << "," << y;
    EXPECT_TRUE(FDialogs.Shown().empty());
}

TEST_F(UndoClipboard, PasteDrawsAPictureOverBlackAndKeepsSnapshotAndName) {
    TKelvoImageForm& form = StartWith();
    SetPatternImage(3, 3);
    form.OpenDialog1.FileName = PathOf(QStringLiteral("kept.jpg"));
    form.SaveUndoSnapshot();
    TBitmap32 snapshot;
    CopyInto(snapshot, form.FUndoImage);
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(200, 100, 50, 0));
    picture.setPixel(1, 0, qRgba(10, 20, 30, 255));
    QGuiApplication::clipboard()->setImage(picture);

    form.Paste1->trigger();

    ASSERT_EQ(Bitmap().Width(), 2);
    EXPECT_EQ(Bitmap().GetPixel(0, 0), 0xFF000000u) << "fully transparent over black is black";
    EXPECT_EQ(Bitmap().GetPixel(1, 0), 0xFF0A141Eu);
    EXPECT_TRUE(SamePixels(form.FUndoImage, snapshot));
    EXPECT_EQ(form.CurrentFileName(), PathOf(QStringLiteral("kept.jpg")));
}

TEST_F(UndoClipboard, CopyingAnEmptyImageLeavesTheClipboardAlone) {
    TKelvoImageForm& form = StartWith();
    Bitmap().SetSize(0, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("still here"));
    form.Copy1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("still here"));
    EXPECT_TRUE(FDialogs.Shown().empty());
}

}  // namespace
