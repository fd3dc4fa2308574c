#pragma once
// Reading printed pages back: Poppler's pdftoppm renders a PDF page to a picture, in which the
// tests look for where the ink landed.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QSizeF>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace pdf_pages {

inline bool RendererPresent() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

// Page count and the first page's size in points, as pdfinfo reports them; count 0 when the
// file is no PDF.
struct TPdfInfo {
    int Pages = 0;
    QSizeF PageSize;
};
inline TPdfInfo Info(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {pdf});
    TPdfInfo info;
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return info;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
        const QStringList words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == QLatin1String("Pages:")) info.Pages = words[1].toInt();
        if (words.size() >= 5 && words[0] == QLatin1String("Page") &&
            words[1] == QLatin1String("size:"))
            info.PageSize = QSizeF(words[2].toDouble(), words[4].toDouble());
    }
    return info;
}

// The first page at `dpi` dots per inch; a null picture when it cannot be rendered.
inline QImage RenderFirstPage(const QString& pdf, int dpi) {
    QTemporaryDir folder;
    const QString stem = folder.filePath(QStringLiteral("page"));
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                   QStringLiteral("-singlefile"), pdf, stem});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return QImage();
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel that is clearly not paper white.
inline QRect InkBounds(const QImage& page) {
    QRect bounds;
    for (int y = 0; y < page.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x)
            if (qRed(row[x]) < 200 || qGreen(row[x]) < 200 || qBlue(row[x]) < 200)
                bounds |= QRect(x, y, 1, 1);
    }
    return bounds;
}

}  // namespace pdf_pages
