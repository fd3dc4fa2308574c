#include "view/ui/ImageView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <vector>

#include "view/DisplayCopy.h"
#include "view/FitGeometry.h"

namespace {

// Source index of each displayed column (or row) first..first+count-1 when `source` pixels are
// shown as `displayed` pixels: the pixel whose span holds the displayed pixel's centre.
std::vector<int> NearestIndices(int first, int count, int source, int displayed) {
    std::vector<int> map(std::size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i)
        map[std::size_t(i)] =
            int((2 * std::int64_t(first + i) + 1) * source / (2 * std::int64_t(displayed)));
    return map;
}

// A length of device pixels in logical units, rounded up: the logical extent that holds them.
int LogicalCeil(int device, qreal scale) {
    return int(std::ceil(device / scale - 1e-9));
}

}  // namespace

TImageView::TImageView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    FBitmap.OnChange = [this] {
        ++FChangeCount;
        update();
    };
}

TImageView::~TImageView() {
    FBitmap.OnChange = nullptr;
}

void TImageView::SetScaleMode(TScaleMode mode) {
    if (FScaleMode == mode) return;
    FScaleMode = mode;
    update();
}

QSize TImageView::DisplayedDeviceSize() const {
    if (FBitmap.Empty()) return {0, 0};
    if (FScaleMode == TScaleMode::smNormal) return {FBitmap.Width(), FBitmap.Height()};
    // The view's whole device pixels: a fractional scale leaves part of one at the edge.
    const qreal scale = DeviceScale();
    return FittedImageSize(FBitmap.Width(), FBitmap.Height(), int(width() * scale + 1e-9),
                           int(height() * scale + 1e-9));
}

QSize TImageView::DisplayedSize() const {
    const QSize device = DisplayedDeviceSize();
    const qreal scale = DeviceScale();
    return {LogicalCeil(device.width(), scale), LogicalCeil(device.height(), scale)};
}

QSize TImageView::UnscaledSize() const {
    const qreal scale = DeviceScale();
    return {LogicalCeil(FBitmap.Width(), scale), LogicalCeil(FBitmap.Height(), scale)};
}

QPoint TImageView::ControlToBitmap(QPointF point) const {
    const qreal scale = DeviceScale();
    // The device pixel under the point; floor, so points left of or above the image map to
    // negative pixels.
    const QPoint device(int(std::floor(point.x() * scale + 1e-9)),
                        int(std::floor(point.y() * scale + 1e-9)));
    const QSize shown = DisplayedDeviceSize();
    if (shown.isEmpty() || FScaleMode == TScaleMode::smNormal) return device;
    const auto map = [](int v, int source, int displayed) {
        // The picture pixel whose span holds the device pixel's centre, as painted.
        const std::int64_t n = (2 * std::int64_t(v) + 1) * source;
        const std::int64_t d = 2 * std::int64_t(displayed);
        return int(n >= 0 ? n / d : -((-n + d - 1) / d));
    };
    return {map(device.x(), FBitmap.Width(), shown.width()),
            map(device.y(), FBitmap.Height(), shown.height())};
}

QPointF TImageView::UnscaledToControl(QPoint pixel) const {
    return QPointF(pixel) / DeviceScale();
}

void TImageView::SetColorProfile(const QByteArray& iccProfile) {
    std::shared_ptr<const TDisplayColor> color = TDisplayColor::ForProfile(iccProfile);
    if (color == FColor) return;
    FColor = std::move(color);
    FSmooth = QImage();
    update();
}

bool TImageView::ShownReduced(QSize shownDevice) const {
    return !shownDevice.isEmpty() &&
           (shownDevice.width() < FBitmap.Width() || shownDevice.height() < FBitmap.Height());
}

bool TImageView::SmoothCopyReady() const {
    const QSize shown = DisplayedDeviceSize();
    return ShownReduced(shown) && !FSmooth.isNull() && FSmoothSize == shown &&
           FSmoothStamp == FBitmap.ContentStamp();
}

void TImageView::MakeSmoothCopy() {
    const QSize shown = DisplayedDeviceSize();
    if (!ShownReduced(shown) || SmoothCopyReady()) return;
    FSmooth = SmoothReduce(FBitmap, shown.width(), shown.height());
    if (FColor) FColor->Convert(FSmooth);
    FSmoothSize = shown;
    FSmoothStamp = FBitmap.ContentStamp();
    update();
}

void TImageView::QueueSmoothCopy() {
    if (FSmoothQueued) return;
    FSmoothQueued = true;
    // After the paint in progress has reached the screen: the first paint keeps its speed.
    QTimer::singleShot(0, this, [this] {
        FSmoothQueued = false;
        MakeSmoothCopy();
    });
}

void TImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // The picture is composed in device pixels and drawn as an image of the screen's own pixel
    // ratio, so that each of its pixels lands on one device pixel.
    const qreal scale = DeviceScale();
    const QSize shown = DisplayedDeviceSize();
    const QRect exposed = event->rect();
    // Background first, only where no image pixel goes (a logical pixel the picture covers in
    // part gets both, the picture over it).
    const QRect coveredRect(0, 0, int(shown.width() / scale + 1e-9),
                            int(shown.height() / scale + 1e-9));
    const QRegion background = QRegion(exposed).subtracted(QRegion(coveredRect));
    for (const QRect& r : background)
        painter.fillRect(r, palette().window());

    const QRect exposedDevice = QRectF(exposed.x() * scale, exposed.y() * scale,
                                       exposed.width() * scale, exposed.height() * scale)
                                    .toAlignedRect();
    const QRect area = exposedDevice.intersected(QRect(QPoint(0, 0), shown));
    if (area.isEmpty()) return;
    const QPointF at(area.left() / scale, area.top() / scale);
    if (ShownReduced(shown)) {
        if (SmoothCopyReady()) {
            FSmooth.setDevicePixelRatio(scale);
            painter.drawImage(at, FSmooth, area);
            return;
        }
        QueueSmoothCopy();
    } else {
        FSmooth = QImage();  // a size it no longer has: its memory is better free
    }
    // Only the visible part is composed, pixel by pixel from the raster, so a fitted photograph
    // of any size costs what the screen area costs. Alpha is set to opaque here: the raster's
    // alpha byte is never meant for display.
    const std::vector<int> columns =
        NearestIndices(area.left(), area.width(), FBitmap.Width(), shown.width());
    const std::vector<int> rows =
        NearestIndices(area.top(), area.height(), FBitmap.Height(), shown.height());
    QImage buffer(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        const TColor32* in = FBitmap.ScanLine(rows[std::size_t(y)]);
        auto* out = reinterpret_cast<TColor32*>(buffer.scanLine(y));
        if (shown.width() == FBitmap.Width()) {
            const TColor32* from = in + area.left();
            for (int x = 0; x < area.width(); ++x)
                out[x] = from[x] | 0xFF000000u;
        } else {
            for (int x = 0; x < area.width(); ++x)
                out[x] = in[columns[std::size_t(x)]] | 0xFF000000u;
        }
    }
    if (FColor) FColor->Convert(buffer);
    buffer.setDevicePixelRatio(scale);
    painter.drawImage(at, buffer);
}

void TImageView::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event);
}
void TImageView::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event);
}
void TImageView::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseUp(event);
}
