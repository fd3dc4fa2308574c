#include "info/PrintPage.h"

#include <QImage>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

namespace {

int RoundToEven(double value) {
    return int(std::nearbyint(value));
}

}  // namespace

TPrintLayout PrintLayout(int width, int height, int printableHeight, int printableWidth) {
    if (width <= 0 || height <= 0 || printableHeight <= 0 || printableWidth <= 0) return {};
    TPrintLayout layout;
    const double pageRatio = double(printableHeight) / double(printableWidth);
    double imageRatio = double(height) / double(width);
    if ((pageRatio < 1 && imageRatio > 1) || (pageRatio > 1 && imageRatio < 1)) {
        layout.Turned = true;
        imageRatio = 1 / imageRatio;
    }
    // The page is printed upright, so a page measured lying on its side offers its shorter
    // side as the width.
    const int pageWidth = std::min(printableWidth, printableHeight);
    layout.Height = printableHeight;
    layout.Width = RoundToEven(printableHeight / imageRatio);
    // A picture closer to square than the page would stick out at the right at full height:
    // it fills the width instead, which keeps it inside the printable area.
    if (layout.Width > pageWidth) {
        layout.Width = pageWidth;
        layout.Height = RoundToEven(pageWidth * imageRatio);
    }
    return layout;
}

TPrintLayout PrintImage(QPagedPaintDevice& device, const TBitmap32& image) {
    const TPrintLayout layout =
        PrintLayout(image.Width(), image.Height(), device.height(), device.width());
    if (layout.Width <= 0 || layout.Height <= 0) return layout;
    device.setPageOrientation(QPageLayout::Portrait);

    // The image's own pixels are never turned: a print that fails half-way must leave it as
    // it was. Many commands leave the alpha byte 0, which a PDF or a printer honouring alpha
    // would show as nothing at all.
    TBitmap32 copy;
    copy.Assign(image);
    if (layout.Turned) copy.TurnClockwise();
    TColor32* pixel = copy.Bits();
    for (std::size_t i = 0, count = copy.PixelCount(); i < count; ++i)
        pixel[i] |= 0xFF000000u;
    const QImage picture(reinterpret_cast<const uchar*>(copy.Bits()), copy.Width(), copy.Height(),
                         qsizetype(copy.Width()) * 4, QImage::Format_RGB32);

    QPainter painter;
    if (!painter.begin(&device))
        throw KelvoError(QStringLiteral("The printer could not begin the page"));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, layout.Width, layout.Height), picture);
    if (!painter.end()) throw KelvoError(QStringLiteral("The printer could not finish the page"));
    return layout;
}

void WritePdfPage(const QString& fileName, const TBitmap32& image, const QPageLayout& pageLayout,
                  int resolution) {
    if (image.Empty()) throw KelvoError(QStringLiteral("Nothing printed: the picture is empty"));
    TAtomicFile file(fileName);
    TAtomicFileDevice device(file);
    bool printed = false;
    {
        QPdfWriter writer(&device);
        writer.setResolution(resolution);
        writer.setPageLayout(pageLayout);
        try {
            PrintImage(writer, image);
            printed = true;
        } catch (const KelvoError&) {
        }
    }  // the writer is done with the device only once it is gone
    if (device.WriteError()) file.Fail(device.WriteError());
    if (!printed) throw KelvoError(CannotCreateFileMessage(fileName, EIO));
    file.Commit();
}

void WritePdfPage(const QString& fileName, const TBitmap32& image, const QPageSize& pageSize) {
    WritePdfPage(
        fileName, image,
        QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF(10, 10, 10, 10), QPageLayout::Point),
        1200);
}
