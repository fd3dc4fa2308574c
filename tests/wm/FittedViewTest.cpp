// What the screen shows of a fitted picture, read back from the X server: a 6000 x 4000 zone
// plate fitted to the window is flat grey wherever its detail is finer than the screen's pixels
// (its outer corner and its bands of 1-pixel lines), as a correctly filtered view must be.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "support/ZonePlate.h"
#include "wm/WindowManagerFixture.h"

namespace {

class FittedView : public WindowManagerFixture {};

TEST_F(FittedView, AZonePlateIsFlatOnTheScreenWhereItsDetailIsFinerThanThePixels) {
    // Opened as a user opens it, at Fit.
    MarkRegistered("[Image]\nOneToOne=No\n");
    const TBitmap32& plate = ZonePlateWithLines();
    const QString file = MakeImage(QStringLiteral("zone-plate.bmp"), plate.Width(), plate.Height(),
                                   [&plate](int x, int y) { return QRgb(plate.GetPixel(x, y)); });
    TKelvoImageForm& form = StartManaged({file});
    ASSERT_EQ(form.Image->ScaleMode(), TScaleMode::smResize);
    ASSERT_TRUE(QTest::qWaitFor([&form] { return form.Image->SmoothCopyReady(); }, 10000));
    // The smooth copy is painted by the next paint; the server has it once the events ran.
    form.Image->repaint();
    QTest::qWait(200);

    const QSize shown = form.Image->DisplayedDeviceSize();
    ASSERT_GT(shown.width(), 600) << "a picture large enough on the screen to measure";
    QScreen* screen = form.Image->screen();
    const qreal scale = screen->devicePixelRatio();
    const QImage desktop = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = (QPointF(form.Image->mapToGlobal(QPoint(0, 0))) * scale).toPoint();
    const QImage seen = desktop.copy(QRect(origin, shown));
    ASSERT_EQ(seen.size(), shown);
    for (const TZonePlateRegion& region : ZonePlateRegions(shown)) {
        SCOPED_TRACE(region.Name);
        EXPECT_LE(StandardDeviation(seen, region.Area), 5.0);
        // And it is the picture there, not a blank.
        EXPECT_NEAR(MeanGrey(seen, region.Area), region.Mean, 6.0);
    }
}

}  // namespace
