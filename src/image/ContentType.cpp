#include "image/ContentType.h"

#include <unistd.h>

#include "base/WholeFile.h"

std::optional<TImageFileType> ImageFileTypeOfContent(const QByteArray& start) {
    if (start.startsWith("\xFF\xD8\xFF")) return TImageFileType::Jpeg;
    if (start.startsWith("\x89PNG\r\n\x1A\n")) return TImageFileType::Png;
    if (start.startsWith("GIF87a") || start.startsWith("GIF89a")) return TImageFileType::Gif;
    if (start.startsWith("BM")) return TImageFileType::Bmp;
    if (start.startsWith(QByteArray("II*\0", 4)) || start.startsWith(QByteArray("MM\0*", 4)))
        return TImageFileType::Tiff;
    return std::nullopt;
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
    }
    return QString();
}
