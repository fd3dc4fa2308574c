#include "image/ImageLoader.h"

#include <QtGlobal>
#include <exception>
#include <vector>

#include "image/BmpDecoder.h"
#include "image/GifDecoder.h"
#include "image/JpegDecoder.h"
#include "image/PngDecoder.h"

namespace {

// Whatever a decoder had written, a failed load leaves nothing half-made behind.
class TEmptyOnFailure {
  public:
    explicit TEmptyOnFailure(TBitmap32& image)
        : FImage(image), FExceptions(std::uncaught_exceptions()) {}
    ~TEmptyOnFailure() {
        if (std::uncaught_exceptions() > FExceptions) FImage.AssignEmpty();
    }
    TEmptyOnFailure(const TEmptyOnFailure&) = delete;
    TEmptyOnFailure& operator=(const TEmptyOnFailure&) = delete;

  private:
    TBitmap32& FImage;
    int FExceptions;
};

// A load either succeeds quietly or fails with its one message: whatever Qt would print on
// stderr meanwhile (a codec's complaints about a damaged file) is dropped. Fatal messages still
// reach the handler that was installed before.
class TQuietQtMessages {
  public:
    TQuietQtMessages() { FPrevious = qInstallMessageHandler(&Drop); }
    ~TQuietQtMessages() { qInstallMessageHandler(FPrevious); }
    TQuietQtMessages(const TQuietQtMessages&) = delete;
    TQuietQtMessages& operator=(const TQuietQtMessages&) = delete;

  private:
    static void Drop(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtFatalMsg && FPrevious) FPrevious(type, context, text);
    }
    static inline QtMessageHandler FPrevious = nullptr;
};

}  // namespace

TImageFileType ImageFileTypeOf(const QString& fileName) {
    const auto endsWith = [&](const char* ending) {
        return fileName.endsWith(QLatin1String(ending), Qt::CaseInsensitive);
    };
    if (endsWith(".gif")) return TImageFileType::Gif;
    if (endsWith(".bmp")) return TImageFileType::Bmp;
    if (endsWith(".png")) return TImageFileType::Png;
    if (endsWith(".tif") || endsWith(".tiff")) return TImageFileType::Tiff;
    return TImageFileType::Jpeg;
}

namespace {

void Load(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* jpegMarkers) {
    TQuietQtMessages quiet;
    TEmptyOnFailure guard(image);
    // JPEG, PNG and GIF decode straight into the raster, reusing its store when the size is
    // unchanged; the others build a new picture, so the old store is let go first.
    switch (ImageFileTypeOf(fileName)) {
        case TImageFileType::Gif:
            DecodeGifFile(fileName, image);
            break;
        case TImageFileType::Bmp:
            image.AssignEmpty();
            DecodeBmpFile(fileName, image);
            break;
        case TImageFileType::Png:
            DecodePngFile(fileName, image);
            break;
        case TImageFileType::Tiff:
            image.AssignEmpty();
            image.Assign(ReadTiffFile(fileName));
            break;
        case TImageFileType::Jpeg:
            DecodeJpegFile(fileName, image, jpegMarkers);
            break;
    }
}

}  // namespace

void LoadImageFromFile(const QString& fileName, TBitmap32& image) {
    Load(fileName, image, nullptr);
    image.Changed();
}

TKeptMetadata LoadPhotoFromFile(const QString& fileName, TBitmap32& image, bool upright) {
    // A picture that cannot be turned upright (no memory for the turn) fails like one that
    // cannot be decoded, rather than showing sideways without a word.
    TEmptyOnFailure guard(image);
    std::vector<TJpegMarker> markers;
    Load(fileName, image, &markers);
    TKeptMetadata kept{TPhotoMetadata::FromMarkers(markers), false};
    if (upright && kept.Source) {
        const int orientation = kept.Source->Orientation();
        if (orientation != 1) {
            ApplyExifOrientation(image, orientation);
            kept.Reoriented = true;
        }
    }
    image.Changed();
    return kept;
}
