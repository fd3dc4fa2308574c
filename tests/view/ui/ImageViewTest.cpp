// What the view draws: opaque pixels, nearest-neighbour scaling, anchored at the top-left.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

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

TEST(ImageView, ShrinkingPicksOnePixelOfEachBlock) {
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

TEST(ImageView, EmptyImageShowsOnlyBackground) {
    TImageView view;
    view.resize(10, 10);
    view.SetScaleMode(TScaleMode::smResize);
    EXPECT_EQ(view.DisplayedSize(), QSize(0, 0));
    EXPECT_EQ(Render(view).pixel(0, 0), view.palette().window().color().rgb());
}

}  // namespace
