#include "view/ui/ImageView.h"

#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <vector>

#include "app/ui/CommandDispatch.h"
#include "image/ImageLoader.h"
#include "view/DisplayCopy.h"
#include "view/FitGeometry.h"
#include "view/FullDecode.h"

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
    // The decoding thread is joined while everything it may post to still exists.
    FFullDecode.reset();
    FBitmap.OnChange = nullptr;
}

TBitmap32& TImageView::Bitmap() {
    FinishFullDecode();
    return FBitmap;
}

const TBitmap32& TImageView::Bitmap() const {
    // Reading the picture is what the wait is for, whoever reads it: the swap changes only
    // what the view holds, never what it shows.
    const_cast<TImageView*>(this)->FinishFullDecode();
    return FBitmap;
}

QSize TImageView::PictureSize() const {
    if (FullDecodePending()) return FPictureSize;
    return {FBitmap.Width(), FBitmap.Height()};
}

void TImageView::DropPendingPicture() {
    FFullWanted = false;
    FFullDecode.reset();
    FFullArrived = nullptr;
    FReduced.AssignEmpty();
}

std::function<QSize(QSize)> TImageView::FittedInto(QSize area) {
    return [area](QSize full) {
        return FittedImageSize(full.width(), full.height(), area.width(), area.height());
    };
}

bool TImageView::ShowReducedFirst(const QString& fileName, bool upright, QSize area,
                                  TKeptMetadata& metadata,
                                  std::function<void(const TKeptMetadata&)> fullArrived) {
    if (!FReducedFirst) return false;
    DropPendingPicture();
    TReducedPhoto reduced;
    if (!LoadReducedPhoto(fileName, upright, FittedInto(area), reduced)) return false;
    ShowReduced(fileName, upright, std::move(reduced), metadata, std::move(fullArrived));
    return true;
}

void TImageView::ShowReduced(const QString& fileName, bool upright, TReducedPhoto&& reduced,
                             TKeptMetadata& metadata,
                             std::function<void(const TKeptMetadata&)> fullArrived) {
    DropPendingPicture();
    FBitmap.AssignEmpty();
    FReduced.Assign(std::move(reduced.Picture));
    FPictureSize = reduced.FullSize;
    metadata = std::move(reduced.Metadata);
    FFullArrived = std::move(fullArrived);
    FFullFile = fileName;
    FFullUpright = upright;
    FFullWanted = true;
    ++FChangeCount;
    update();
    // Nothing is painted while the view is hidden: the decode need not wait for a paint; nor
    // for one that does not come soon (a window not yet exposed).
    if (!isVisible())
        StartFullDecode();
    else
        QTimer::singleShot(50, this, [this] { StartFullDecode(); });
}

void TImageView::StartFullDecode() {
    if (!FFullWanted) return;
    FFullWanted = false;
    FFullDecode = std::make_unique<TFullDecode>(FFullFile, FFullUpright, [this] {
        // Delivered on the view's thread; a decode dropped since finds nothing to swap in.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (FFullDecode && FFullDecode->Done()) SwapInFullPicture();
            },
            Qt::QueuedConnection);
    });
}

void TImageView::FinishFullDecode() {
    StartFullDecode();
    if (!FFullDecode) return;
    if (!FFullDecode->Done()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        FFullDecode->Wait();
        QGuiApplication::restoreOverrideCursor();
    }
    SwapInFullPicture();
}

void TImageView::SwapInFullPicture() {
    const std::unique_ptr<TFullDecode> decode = std::move(FFullDecode);
    const std::function<void(const TKeptMetadata&)> arrived = std::move(FFullArrived);
    FFullArrived = nullptr;
    decode->Wait();
    FReduced.AssignEmpty();
    if (const std::exception_ptr failure = decode->Failure()) {
        // As a failed load leaves it: no picture, and the load's message.
        FBitmap.AssignEmpty();
        FBitmap.Changed();
        QString message;
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            message = ExceptionMessage(error);
        } catch (...) {
            message = QStringLiteral("Unknown error");
        }
        // Not from inside whatever command asked for the pixels: it goes on with no picture.
        QTimer::singleShot(0, this, [message] { ReportError(message); });
        return;
    }
    TBitmap32& full = decode->Picture();
    full.OuterColor = FBitmap.OuterColor;
    full.DrawMode = FBitmap.DrawMode;
    full.MasterAlpha = FBitmap.MasterAlpha;
    full.StretchFilter = FBitmap.StretchFilter;
    FBitmap.Assign(std::move(full));
    if (arrived) arrived(decode->Metadata());
    // Made before the next paint, so the reduced picture's smooth copy is followed by the full
    // one's at the same place, never by a nearest-pixel frame.
    if (isVisible()) MakeSmoothCopy();
}

void TImageView::SetScaleMode(TScaleMode mode) {
    if (FScaleMode == mode) return;
    // 1:1 shows the picture's own pixels, which only the full decode has.
    if (mode == TScaleMode::smNormal) FinishFullDecode();
    FScaleMode = mode;
    update();
}

QSize TImageView::DisplayedDeviceSize() const {
    const QSize picture = PictureSize();
    if (picture.isEmpty()) return {0, 0};
    if (FScaleMode == TScaleMode::smNormal) return picture;
    // The view's whole device pixels: a fractional scale leaves part of one at the edge.
    const qreal scale = DeviceScale();
    return FittedImageSize(picture.width(), picture.height(), int(width() * scale + 1e-9),
                           int(height() * scale + 1e-9));
}

QSize TImageView::DisplayedSize() const {
    const QSize device = DisplayedDeviceSize();
    const qreal scale = DeviceScale();
    return {LogicalCeil(device.width(), scale), LogicalCeil(device.height(), scale)};
}

QSize TImageView::UnscaledSize() const {
    // The picture's size, without waiting for a full decode in progress.
    const QSize picture = PictureSize();
    const qreal scale = DeviceScale();
    return {LogicalCeil(picture.width(), scale), LogicalCeil(picture.height(), scale)};
}

QPoint TImageView::ControlToBitmap(QPointF point) const {
    const qreal scale = DeviceScale();
    // The device pixel under the point; floor, so points left of or above the image map to
    // negative pixels.
    const QPoint device(int(std::floor(point.x() * scale + 1e-9)),
                        int(std::floor(point.y() * scale + 1e-9)));
    const QSize shown = DisplayedDeviceSize();
    if (shown.isEmpty() || FScaleMode == TScaleMode::smNormal) return device;
    const QSize picture = PictureSize();
    const auto map = [](int v, int source, int displayed) {
        // The picture pixel whose span holds the device pixel's centre, as painted.
        const std::int64_t n = (2 * std::int64_t(v) + 1) * source;
        const std::int64_t d = 2 * std::int64_t(displayed);
        return int(n >= 0 ? n / d : -((-n + d - 1) / d));
    };
    return {map(device.x(), picture.width(), shown.width()),
            map(device.y(), picture.height(), shown.height())};
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
    const TBitmap32& source = Shown();
    return !shownDevice.isEmpty() &&
           (shownDevice.width() < source.Width() || shownDevice.height() < source.Height());
}

bool TImageView::SmoothCopyReady() const {
    const QSize shown = DisplayedDeviceSize();
    return ShownReduced(shown) && !FSmooth.isNull() && FSmoothSize == shown &&
           FSmoothStamp == Shown().ContentStamp();
}

void TImageView::MakeSmoothCopy() {
    const QSize shown = DisplayedDeviceSize();
    if (!ShownReduced(shown) || SmoothCopyReady()) return;
    const TBitmap32& source = Shown();
    FSmooth = SmoothReduce(source, shown.width(), shown.height());
    if (FColor) FColor->Convert(FSmooth);
    FSmoothSize = shown;
    FSmoothStamp = source.ContentStamp();
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
    // The reduced picture is on its way to the screen: the full decode starts after it.
    if (FFullWanted) QTimer::singleShot(0, this, [this] { StartFullDecode(); });
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
    // While the full decode runs, the reduced picture stands in for it, stretched to the full
    // picture's displayed size.
    const TBitmap32& source = Shown();
    const std::vector<int> columns =
        NearestIndices(area.left(), area.width(), source.Width(), shown.width());
    const std::vector<int> rows =
        NearestIndices(area.top(), area.height(), source.Height(), shown.height());
    QImage buffer(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        const TColor32* in = source.ScanLine(rows[std::size_t(y)]);
        auto* out = reinterpret_cast<TColor32*>(buffer.scanLine(y));
        if (shown.width() == source.Width()) {
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
