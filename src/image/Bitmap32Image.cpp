// The raster's exchange with Qt's picture type, for the clipboard and the printed page. A file of
// its own, so that what needs no QtGui (the command-line tool) links without it.

#include <QImage>
#include <cstring>

#include "base/KelvoError.h"
#include "image/Bitmap32.h"

void TBitmap32::Assign(const QImage& picture, TPictureKind kind) {
    if (picture.isNull()) {
        AssignEmpty();
        return;
    }
    // Drawing over black at 1:1 is exactly the premultiplied colour: c * a / 255 + 0 * (1 - a).
    const QImage source = picture.convertToFormat(kind == TPictureKind::Bitmap32
                                                      ? QImage::Format_ARGB32
                                                      : QImage::Format_ARGB32_Premultiplied);
    if (source.isNull()) throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    SetSize(source.width(), source.height());
    const TColor32 forcedAlpha = kind == TPictureKind::Bitmap32 ? 0 : 0xFF000000u;
    for (int y = 0; y < FHeight; ++y) {
        const auto* in = reinterpret_cast<const TColor32*>(source.constScanLine(y));
        TColor32* out = ScanLine(y);
        for (int x = 0; x < FWidth; ++x)
            out[x] = in[x] | forcedAlpha;
    }
    Changed();
}

QImage TBitmap32::Export() const {
    if (Empty()) return QImage();
    QImage picture(FWidth, FHeight, QImage::Format_ARGB32);
    if (picture.isNull()) throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    for (int y = 0; y < FHeight; ++y)
        std::memcpy(picture.scanLine(y), ScanLine(y), std::size_t(FWidth) * sizeof(TColor32));
    return picture;
}
