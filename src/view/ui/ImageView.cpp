#include "view/ui/ImageView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
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

QSize TImageView::DisplayedSize() const {
    if (FBitmap.Empty()) return {0, 0};
    if (FScaleMode == TScaleMode::smNormal) return {FBitmap.Width(), FBitmap.Height()};
    return FittedImageSize(FBitmap.Width(), FBitmap.Height(), width(), height());
}

QPoint TImageView::ControlToBitmap(QPoint point) const {
    const QSize shown = DisplayedSize();
    if (shown.isEmpty() || FScaleMode == TScaleMode::smNormal) return point;
    const auto map = [](int v, int source, int displayed) {
        // Floor division, so points left of or above the image map to negative pixels.
        const std::int64_t n = (2 * std::int64_t(v) + 1) * source;
        const std::int64_t d = 2 * std::int64_t(displayed);
        return int(n >= 0 ? n / d : -((-n + d - 1) / d));
    };
    return {map(point.x(), FBitmap.Width(), shown.width()),
            map(point.y(), FBitmap.Height(), shown.height())};
}

void TImageView::SetColorProfile(const QByteArray& iccProfile) {
    std::shared_ptr<const TDisplayColor> color = TDisplayColor::ForProfile(iccProfile);
    if (color == FColor) return;
    FColor = std::move(color);
    FSmooth = QImage();
    update();
}

bool TImageView::ShownReduced(QSize shown) const {
    return !shown.isEmpty() &&
           (shown.width() < FBitmap.Width() || shown.height() < FBitmap.Height());
}

bool TImageView::SmoothCopyReady() const {
    const QSize shown = DisplayedSize();
    return ShownReduced(shown) && !FSmooth.isNull() && FSmoothSize == shown &&
           FSmoothStamp == FBitmap.ContentStamp();
}

void TImageView::MakeSmoothCopy() {
    const QSize shown = DisplayedSize();
    if (!ShownReduced(shown) || SmoothCopyReady()) return;
    FSmooth = BoxReduce(FBitmap, shown.width(), shown.height());
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
    const QSize shown = DisplayedSize();
    const QRect imageRect(QPoint(0, 0), shown);
    const QRect exposed = event->rect();
    // Background first, only where no image pixel goes.
    const QRegion background = QRegion(exposed).subtracted(QRegion(imageRect));
    for (const QRect& r : background)
        painter.fillRect(r, palette().window());

    const QRect area = exposed.intersected(imageRect);
    if (area.isEmpty()) return;
    if (ShownReduced(shown)) {
        if (SmoothCopyReady()) {
            painter.drawImage(area.topLeft(), FSmooth, area);
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
    painter.drawImage(area.topLeft(), buffer);
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
