#include "image/ImageSaver.h"

#include "base/AtomicFile.h"
#include "base/KelvoError.h"
#include "image/BmpEncoder.h"
#include "image/GifEncoder.h"
#include "image/JpegEncoder.h"
#include "image/LosslessJpeg.h"
#include "image/PngEncoder.h"

namespace {

// A codec cannot write a picture without pixels; refusing here keeps the old file untouched
// instead of replacing it with a file no reader accepts.
void RequirePixels(const TBitmap32& image) {
    if (image.Empty()) throw KelvoError(QStringLiteral("There is no image to save"));
}

}  // namespace

TSaveFileType SaveFileTypeOf(const QString& fileName) {
    static const struct {
        QLatin1StringView Ending;
        TSaveFileType Type;
    } kEndings[] = {
        {QLatin1StringView(".JPG"), TSaveFileType::Jpeg},
        {QLatin1StringView(".GIF"), TSaveFileType::Gif},
        {QLatin1StringView(".PNG"), TSaveFileType::Png},
        {QLatin1StringView(".BMP"), TSaveFileType::Bmp},
    };
    for (const auto& entry : kEndings)
        if (fileName.endsWith(entry.Ending, Qt::CaseInsensitive)) return entry.Type;
    return TSaveFileType::None;
}

QString NoSaveTypeMessage(const QString& fileName) {
    return QStringLiteral("Nothing written: '%1' does not end with .JPG, .GIF, .PNG or .BMP")
        .arg(fileName);
}

int ClampJpegQuality(int jpegQuality) {
    const int low = jpegQuality & 0xFF;
    return low < 1 ? 1 : (low > 100 ? 100 : low);
}

QString ExifLeftOutText() {
    return QStringLiteral(
        "written without its EXIF tags: they do not fit in a JPEG segment of 64 KB even without "
        "the thumbnail and the maker note");
}

QString ExifLeftOutMessage(const QString& fileName) {
    return QStringLiteral("Warning: '%1' was ").arg(fileName) + ExifLeftOutText();
}

TSaveOutcome WriteImageFile(const QString& fileName, const TBitmap32& image, int jpegQuality,
                            const TKeptMetadata& metadata, const TJpegWriteOptions& options) {
    return WriteImageFileAs(SaveFileTypeOf(fileName), fileName, image, jpegQuality, metadata,
                            options);
}

TSaveOutcome WriteImageFileAs(TSaveFileType type, const QString& fileName,
                              const TBitmap32& image, int jpegQuality,
                              const TKeptMetadata& metadata, const TJpegWriteOptions& options) {
    TSaveOutcome outcome;
    if (type == TSaveFileType::None) return outcome;
    RequirePixels(image);
    // Composed before the new file exists; they go into it with the pixels, so the rename puts
    // a complete file in place or none at all.
    const auto markersFor = [&] {
        return type == TSaveFileType::Jpeg && metadata.Source
                   ? metadata.Source->MarkersForSave(image.Width(), image.Height(),
                                                     metadata.Reoriented, &outcome.ExifLeftOut)
                   : std::vector<TJpegMarker>();
    };
    if (type == TSaveFileType::Jpeg && options.LosslessWhenPossible &&
        metadata.HoldsTurnedOrigin(image)) {
        if (const std::optional<TLargeBlock> origin = ReadUnchangedOrigin(*metadata.Origin)) {
            if (WriteTurnedJpeg(fileName, *origin, metadata.Turn, markersFor())) {
                outcome.Lossless = true;
                return outcome;
            }
            outcome.ExifLeftOut = false;
        }
    }
    const std::vector<TJpegMarker> markers = markersFor();
    TAtomicFile file(fileName);
    switch (type) {
        case TSaveFileType::Jpeg:
            EncodeJpeg(file, image, ClampJpegQuality(jpegQuality), markers, options.Sampling);
            break;
        case TSaveFileType::Gif:
            EncodeGif(file, image, -1, 0);
            break;
        case TSaveFileType::Png:
            EncodePng(file, image, metadata.Source ? metadata.Source->IccProfile() : QByteArray());
            break;
        case TSaveFileType::Bmp:
            EncodeBmp(file, image);
            break;
        case TSaveFileType::None:
            return outcome;
    }
    file.Commit();
    return outcome;
}

void WriteTransparentGif(const QString& fileName, const TBitmap32& image) {
    RequirePixels(image);
    TAtomicFile file(fileName);
    EncodeGif(file, image, kTransparentGifIndex, image.GetPixel(0, image.Height() - 1));
    file.Commit();
}
