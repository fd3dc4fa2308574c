// The view on a scaled screen: at 1:1 one picture pixel per device pixel, Fit filling the view's
// device pixels, and the pointer reaching every picture pixel, while the window's sizes stay in
// logical units. These tests hold at any device pixel ratio; CTest runs them once more with
// QT_SCALE_FACTOR=2 (gui.DevicePixels.scaled), where a screenshot of the view at device
// resolution shows each picture pixel on a device pixel of its own.

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cmath>

#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"
#include "view/DisplayCopy.h"
#include "view/FitGeometry.h"
#include "view/ui/ImageView.h"

namespace {

// The device pixel ratio the run asked for, checked against the view's, so that the scaled run
// cannot pass at ratio 1.
qreal CheckedScale(const QWidget& view) {
    const qreal scale = view.devicePixelRatioF();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        EXPECT_EQ(scale, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    return scale;
}

// A screenshot of the view at device resolution.
QImage Screenshot(QWidget& view) {
    const QPixmap pixmap = view.grab();
    EXPECT_EQ(pixmap.devicePixelRatio(), view.devicePixelRatioF());
    EXPECT_EQ(pixmap.size(), (QSizeF(view.size()) * view.devicePixelRatioF()).toSize());
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

int Up(int device, qreal scale) {
    return int(std::ceil(device / scale - 1e-9));
}

TEST(DevicePixels, OneToOneShowsAPicturePixelPerDevicePixel) {
    TImageView view;
    view.resize(120, 100);
    const qreal scale = CheckedScale(view);
    FillPattern(view.Bitmap(), 91, 71);
    EXPECT_EQ(view.DisplayedDeviceSize(), QSize(91, 71));
    EXPECT_EQ(view.DisplayedSize(), QSize(Up(91, scale), Up(71, scale)));
    EXPECT_EQ(view.UnscaledSize(), view.DisplayedSize());

    const QImage shot = Screenshot(view);
    int wrong = 0;
    for (int y = 0; y < 71; ++y)
        for (int x = 0; x < 91; ++x)
            if (shot.pixel(x, y) != (PatternColor(x, y) | 0xFF000000u)) ++wrong;
    EXPECT_EQ(wrong, 0);
    const QRgb background = view.palette().window().color().rgb();
    EXPECT_EQ(shot.pixel(91, 0), background);
    EXPECT_EQ(shot.pixel(0, 71), background);

    // Each device pixel's centre names its picture pixel, odd ones too.
    for (const QPoint pixel : {QPoint(0, 0), QPoint(1, 1), QPoint(37, 22), QPoint(90, 70)})
        EXPECT_EQ(view.ControlToBitmap((QPointF(pixel) + QPointF(0.5, 0.5)) / scale), pixel);
}

TEST(DevicePixels, FitFillsTheDevicePixels) {
    TImageView view;
    view.resize(190, 150);
    const qreal scale = CheckedScale(view);
    view.SetScaleMode(TScaleMode::smResize);
    const QRgb background = view.palette().window().color().rgb();
    {
        SCOPED_TRACE("a large picture, reduced smoothly");
        FillPattern(view.Bitmap(), 1200, 800);
        const QSize device = FittedImageSize(1200, 800, int(190 * scale), int(150 * scale));
        ASSERT_EQ(view.DisplayedDeviceSize(), device);
        EXPECT_EQ(view.DisplayedSize(),
                  QSize(Up(device.width(), scale), Up(device.height(), scale)));
        Screenshot(view);  // the first paint queues the smooth copy
        QApplication::processEvents();
        ASSERT_TRUE(view.SmoothCopyReady());
        const QImage shot = Screenshot(view);
        EXPECT_EQ(shot.copy(QRect(QPoint(0, 0), device)),
                  SmoothReduce(view.Bitmap(), device.width(), device.height()));
        EXPECT_EQ(shot.pixel(0, device.height()), background);
    }
    {
        SCOPED_TRACE("a small picture, enlarged with the nearest pixel");
        FillPattern(view.Bitmap(), 19, 15);
        const QSize device = FittedImageSize(19, 15, int(190 * scale), int(150 * scale));
        ASSERT_EQ(view.DisplayedDeviceSize(), device);
        const QImage shot = Screenshot(view);
        const int block = device.width() / 19;
        for (const QPoint pixel : {QPoint(0, 0), QPoint(1, 1), QPoint(18, 14), QPoint(7, 3)}) {
            EXPECT_EQ(shot.pixel(pixel * block), PatternColor(pixel.x(), pixel.y()) | 0xFF000000u);
            EXPECT_EQ(shot.pixel(pixel * block + QPoint(block - 1, block - 1)),
                      PatternColor(pixel.x(), pixel.y()) | 0xFF000000u);
            EXPECT_EQ(view.ControlToBitmap((QPointF(pixel * block) + QPointF(0.5, 0.5)) / scale),
                      pixel);
        }
    }
}

// The readout, clicks and crop name the picture's own pixels; the window is sized in logical
// units.
class DevicePixelsWindow : public MainWindowFixture {};

TEST_F(DevicePixelsWindow, ThePointerNamesPicturePixelsAndTheWindowFitsInLogicalUnits) {
    MarkRegistered("[Image]\nOneToOne=Yes\n");
    TKelvoImageForm& form = Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const qreal scale = CheckedScale(*form.Image);
    FillPattern(Bitmap(), 300, 400);
    form.OneToOne1Click();
    const QSize logical(Up(300, scale), Up(400, scale));
    EXPECT_EQ(form.Image->UnscaledSize(), logical);
    EXPECT_EQ(form.ClientHeight(), logical.height()) << "the client holds the picture at 1:1";

    // At 1:1 a point names the device pixel under it.
    const QPointF at = QPointF(31.5, 21.5) / scale;
    form.ImageMouseMove(at);
    const TColor32 pixel = PatternColor(31, 21);
    EXPECT_EQ(form.Caption(),
              QStringLiteral("KelvoImage:   <%1R,%2G,%3B> [%4] at [31, 21]")
                  .arg(pixel >> 16 & 0xFF)
                  .arg(pixel >> 8 & 0xFF)
                  .arg(pixel & 0xFF)
                  .arg((pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF)));
    form.ImageMouseDown(Qt::LeftButton, QPointF(11.5, 9.5) / scale);
    form.ImageMouseMove(QPointF(111.5, 99.5) / scale);
    form.ImageMouseUp(Qt::LeftButton, QPointF(111.5, 99.5) / scale);
    ASSERT_EQ(Bitmap().Width(), 100);
    ASSERT_EQ(Bitmap().Height(), 90);
    EXPECT_EQ(Bitmap().GetPixel(0, 0), PatternColor(11, 9));
    EXPECT_EQ(Bitmap().GetPixel(99, 89), PatternColor(110, 98));
    EXPECT_EQ(form.ClientHeight(), Up(90, scale)) << "the cropped picture at 1:1";

    // Fitted at half size, a drag of 40 x 40 logical pixels is 80 x 80 of the picture at any
    // ratio: Fit fills the device pixels.
    form.Undo1->trigger();
    FillPattern(Bitmap(), 800, 600);
    form.Fit1Click();
    form.FResizing = true;
    form.SetClientHeight(300);
    form.SetClientWidth(400);
    form.FResizing = false;
    ASSERT_EQ(form.Image->DisplayedSize(), QSize(400, 300));
    ASSERT_EQ(form.Image->DisplayedDeviceSize(), (QSizeF(400, 300) * scale).toSize());
    form.ImageMouseMove(QPointF(200, 150));
    EXPECT_TRUE(form.Caption().contains(QStringLiteral(" at [400, 300]")))
        << form.Caption().toStdString();
    form.ImageMouseDown(Qt::LeftButton, QPointF(10, 10));
    form.ImageMouseMove(QPointF(50, 50));
    form.ImageMouseUp(Qt::LeftButton, QPointF(50, 50));
    ASSERT_EQ(Bitmap().Width(), 80);
    EXPECT_EQ(Bitmap().GetPixel(0, 0), PatternColor(20, 20));
    EXPECT_EQ(Bitmap().GetPixel(79, 79), PatternColor(99, 99));
}

}  // namespace
