// What the view draws: opaque pixels, nearest-neighbour scaling at first and a smooth
// reduction once it is made, anchored at the top-left; the colours of an embedded profile.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "support/WideGamutProfile.h"
#include "view/DisplayCopy.h"
#include "view/ui/ImageView.h"

namespace {

QImage Render(TImageView& view) {
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(ImageView, AlphaIsIgnoredAndTheRestIsBackground) {
    TImageView view;
    view.resize(20, 10);
    view.Bitmap().SetSize(4, 2);
    view.Bitmap().Clear(0x00FF0000u);  // red with alpha 0
    view.Bitmap().SetPixel(1, 1, 0x800000FFu);
    const QImage shown = Render(view);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(1, 1), qRgb(0, 0, 255));
    const QRgb background = view.palette().window().color().rgb();
    EXPECT_EQ(shown.pixel(10, 0), background);
    EXPECT_EQ(shown.pixel(0, 5), background);
}

TEST(ImageView, FitScalesWithTheNearestPixel) {
    TImageView view;
    view.resize(100, 80);
    view.SetScaleMode(TScaleMode::smResize);
    view.Bitmap().SetSize(2, 1);
    view.Bitmap().SetPixel(0, 0, 0x00FF0000u);
    view.Bitmap().SetPixel(1, 0, 0x0000FF00u);
    ASSERT_EQ(view.DisplayedSize(), QSize(100, 50));
    const QImage shown = Render(view);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(49, 49), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(50, 0), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(99, 49), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(50, 60), view.palette().window().color().rgb());
    EXPECT_EQ(view.ControlToBitmap(QPoint(49, 10)), QPoint(0, 0));
    EXPECT_EQ(view.ControlToBitmap(QPoint(50, 10)), QPoint(1, 0));
}

// The first paint of a reduction comes at once, with the nearest pixel.
TEST(ImageView, ShrinkingPicksOnePixelOfEachBlockAtFirst) {
    TImageView view;
    view.resize(4, 4);
    view.SetScaleMode(TScaleMode::smResize);
    view.Bitmap().SetSize(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            view.Bitmap().SetPixel(x, y, TColor32(x * 30) << 16 | TColor32(y * 30));
    const QImage shown = Render(view);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const QRgb p = shown.pixel(x, y);
            // Each displayed pixel is one source pixel of its 2 x 2 block, never a blend.
            EXPECT_TRUE(qRed(p) == 60 * x || qRed(p) == 60 * x + 30) << x << "," << y;
            EXPECT_TRUE(qBlue(p) == 60 * y || qBlue(p) == 60 * y + 30) << x << "," << y;
        }
}

// A picture of 1-pixel lines, the kind of detail a nearest-pixel reduction turns into bold
// staircases.
void FillWithFineLines(TBitmap32& bitmap, int width, int height) {
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, (x + y) % 3 == 0 ? 0xFF000000u : 0xFFFFFFFFu);
    bitmap.Changed();
}

TEST(ImageView, TheSmoothReductionReplacesTheFirstPaint) {
    TImageView view;
    view.resize(190, 150);
    view.SetScaleMode(TScaleMode::smResize);
    FillWithFineLines(view.Bitmap(), 600, 400);
    const QSize shown = view.DisplayedSize();
    ASSERT_EQ(shown.width(), 190);
    Render(view);  // the first paint queues the reduction
    EXPECT_FALSE(view.SmoothCopyReady());
    QApplication::processEvents();
    ASSERT_TRUE(view.SmoothCopyReady());
    EXPECT_EQ(Render(view).copy(QRect(QPoint(0, 0), shown)),
              SmoothReduce(view.Bitmap(), shown.width(), shown.height()));

    // An edit, a resize and an undo (the snapshot swapped back) each make it anew or take the
    // one that fits again.
    view.Bitmap().SetPixel(0, 0, 0xFF00FF00u);
    view.Bitmap().Changed();
    EXPECT_FALSE(view.SmoothCopyReady());
    view.MakeSmoothCopy();
    EXPECT_EQ(Render(view).copy(QRect(QPoint(0, 0), shown)),
              SmoothReduce(view.Bitmap(), shown.width(), shown.height()));
    view.resize(300, 150);
    EXPECT_FALSE(view.SmoothCopyReady());
    view.MakeSmoothCopy();
    ASSERT_EQ(view.DisplayedSize(), QSize(225, 150));
    EXPECT_EQ(Render(view).copy(0, 0, 225, 150), SmoothReduce(view.Bitmap(), 225, 150));

    // Enlarged or at 1:1 the picture stays crisp: no reduction is made.
    view.SetScaleMode(TScaleMode::smNormal);
    view.MakeSmoothCopy();
    EXPECT_FALSE(view.SmoothCopyReady());
    EXPECT_EQ(Render(view).pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(Render(view).pixel(2, 1), qRgb(0, 0, 0));
}

TEST(ImageView, AnEmbeddedProfileChangesTheScreenNotThePicture) {
    const QByteArray profile = WideGamutProfile();

    for (const TScaleMode mode : {TScaleMode::smNormal, TScaleMode::smResize}) {
        SCOPED_TRACE(mode == TScaleMode::smNormal ? "1:1" : "reduced");
        TImageView view;
        view.resize(10, 10);
        view.SetScaleMode(mode);
        view.Bitmap().SetSize(20, 20);
        view.Bitmap().Clear(0xFF00C000u);
        view.SetColorProfile(profile);
        view.MakeSmoothCopy();
        TColor32 expected = 0xFF00C000u;
        TDisplayColor::ForProfile(profile)->Convert(&expected, 1);
        ASSERT_NE(expected, 0xFF00C000u);
        EXPECT_EQ(Render(view).pixel(3, 3), QRgb(expected));
        EXPECT_EQ(view.Bitmap().GetPixel(3, 3), 0xFF00C000u) << "the picture keeps its values";
        view.SetColorProfile({});
        view.MakeSmoothCopy();
        EXPECT_EQ(Render(view).pixel(3, 3), qRgb(0, 0xC0, 0));
    }
}

TEST(ImageView, EmptyImageShowsOnlyBackground) {
    TImageView view;
    view.resize(10, 10);
    view.SetScaleMode(TScaleMode::smResize);
    EXPECT_EQ(view.DisplayedSize(), QSize(0, 0));
    EXPECT_EQ(Render(view).pixel(0, 0), view.palette().window().color().rgb());
}

}  // namespace
