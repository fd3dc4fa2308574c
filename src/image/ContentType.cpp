#include "image/ContentType.h"

#include <unistd.h>

#include "base/WholeFile.h"

std::optional<TImageFileType> ImageFileTypeOfContent(const QByteArray& start) {
    return ImageFileTypeOfContent(reinterpret_cast<const std::uint8_t*>(start.constData()),
                                  std::size_t(start.size()));
}

std::optional<TImageFileType> ImageFileTypeOfFile(const QString& fileName) {
    const int descriptor = OpenRegularFileForReading(fileName);
    if (descriptor < 0) return std::nullopt;
    char start[kContentSignatureBytes] = {};
    const ssize_t read = ::read(descriptor, start, sizeof start);
    ::close(descriptor);
    return read > 0 ? ImageFileTypeOfContent(QByteArray(start, qsizetype(read))) : std::nullopt;
}

QString ImageFileTypeName(TImageFileType type) {
    switch (type) {
        case TImageFileType::Jpeg:
            return QStringLiteral("JPEG");
        case TImageFileType::Png:
            return QStringLiteral("PNG");
        case TImageFileType::Gif:
            return QStringLiteral("GIF");
        case TImageFileType::Bmp:
            return QStringLiteral("BMP");
        case TImageFileType::Tiff:
            return QStringLiteral("TIFF");
        case TImageFileType::Heif:
            return QStringLiteral("HEIF");
        case TImageFileType::Webp:
            return QStringLiteral("WebP");
        case TImageFileType::Raw:
            return QStringLiteral("RAW");
    }
    return QString();
}

QString ImageFileTypeEnding(TImageFileType type) {
    switch (type) {
        case TImageFileType::Jpeg:
            return QStringLiteral(".jpg");
        case TImageFileType::Png:
            return QStringLiteral(".png");
        case TImageFileType::Gif:
            return QStringLiteral(".gif");
        case TImageFileType::Bmp:
            return QStringLiteral(".bmp");
        case TImageFileType::Tiff:
            return QStringLiteral(".tif");
        case TImageFileType::Heif:
            return QStringLiteral(".heic");
        case TImageFileType::Webp:
            return QStringLiteral(".webp");
        case TImageFileType::Raw:
            return QStringLiteral(".dng");
    }
    return QString();
}
