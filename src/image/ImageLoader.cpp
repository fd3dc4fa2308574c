#include "image/ImageLoader.h"

#include <QtGlobal>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "base/OnFailure.h"
#include "image/BmpDecoder.h"
#include "image/GifDecoder.h"
#include "image/HeifDecoder.h"
#include "image/JpegDecoder.h"
#include "image/LosslessJpeg.h"
#include "image/PngDecoder.h"
#include "image/RawDecoder.h"
#include "image/WebpDecoder.h"

namespace {

// A load either succeeds quietly or fails with its one message: whatever Qt would print on
// stderr meanwhile (a codec's complaints about a damaged file) is dropped. Fatal messages still
// reach the handler that was installed before.
//
// The handler is process-wide but loads also run on the read-ahead thread, so the first load
// to begin installs the filter and the last one to end puts the previous handler back; the
// filter drops only what the loading threads say, and passes on what any other thread says.
class TQuietQtMessages {
  public:
    TQuietQtMessages() {
        const std::lock_guard lock(FLock);
        if (FQuietLoads++ == 0) FPrevious = qInstallMessageHandler(&Filter);
        ++FThreadDepth;
    }
    ~TQuietQtMessages() {
        const std::lock_guard lock(FLock);
        --FThreadDepth;
        if (--FQuietLoads == 0) qInstallMessageHandler(FPrevious);
    }
    TQuietQtMessages(const TQuietQtMessages&) = delete;
    TQuietQtMessages& operator=(const TQuietQtMessages&) = delete;

  private:
    static void Filter(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (FThreadDepth > 0 && type != QtFatalMsg) return;
        // FPrevious changes only while no load runs, and then this filter is not installed.
        if (FPrevious) FPrevious(type, context, text);
    }
    static inline std::mutex FLock;
    static inline int FQuietLoads = 0;
    static inline QtMessageHandler FPrevious = nullptr;
    static inline thread_local int FThreadDepth = 0;
};

}  // namespace

namespace {

// What a load found besides the pixels: the decoder it took, and for a RAW the orientation its
// preview is stored in.
struct TLoaded {
    TImageFileType Type = TImageFileType::Jpeg;
    int RawOrientation = 1;
};

TLoaded Load(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* jpegMarkers,
             const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn = {},
             const std::function<int(int, int)>& chooseScale = {}) {
    // Whatever a decoder had written, a failed load leaves nothing half-made behind.
    const TOnFailure emptied([&image] { image.AssignEmpty(); });
    // JPEG, PNG, GIF, WebP, HEIF and RAW previews end in the raster, reusing its store when the
    // size is unchanged (a photo after a photo of the same camera); BMP and TIFF build a new
    // picture, so the old store is let go first.
    TLoaded loaded;
    loaded.Type = ImageDecoderOf(fileName);
    switch (loaded.Type) {
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
            DecodeJpegFile(fileName, image, jpegMarkers, chooseTurn, chooseScale);
            break;
        case TImageFileType::Heif:
            DecodeHeifFile(fileName, image, jpegMarkers);
            break;
        case TImageFileType::Webp:
            DecodeWebpFile(fileName, image);
            break;
        case TImageFileType::Raw:
            loaded.RawOrientation = DecodeRawPreview(fileName, image, jpegMarkers);
            break;
    }
    return loaded;
}

}  // namespace

void LoadImageFromFile(const QString& fileName, TBitmap32& image) {
    const TQuietQtMessages quiet;
    Load(fileName, image, nullptr);
    image.Changed();
}

namespace {

// LoadPhotoFromFile, and the reduced load when chooseScale is given (a JPEG only).
TKeptMetadata LoadPhoto(const QString& fileName, TBitmap32& image, bool upright,
                        const std::function<int(int, int)>& chooseScale) {
    // A picture that cannot be turned upright (no memory for the turn) fails like one that
    // cannot be decoded, rather than showing sideways without a word.
    const TQuietQtMessages quiet;
    const TOnFailure emptied([&image] { image.AssignEmpty(); });
    std::vector<TJpegMarker> markers;
    TKeptMetadata kept;
    bool parsed = false;
    int turnedWhileDecoding = 0;
    // A JPEG's metadata is read as soon as its header is, so that a quarter turn is made band
    // by band while decoding: no second full-size store, and the pixels are written once.
    const auto chooseTurn = [&](const std::vector<TJpegMarker>& found) {
        kept.Source = TPhotoMetadata::FromMarkers(found);
        parsed = true;
        if (!upright || !kept.Source) return TDecodeTurn::None;
        turnedWhileDecoding = ExifQuarterTurn(kept.Source->Orientation());
        return turnedWhileDecoding > 0   ? TDecodeTurn::Clockwise
               : turnedWhileDecoding < 0 ? TDecodeTurn::CounterClockwise
                                         : TDecodeTurn::None;
    };
    // A JPEG's file is remembered as it was around the decode, so that a save of the picture
    // only turned since can take its coefficients; a file that changed meanwhile is not.
    const bool jpeg = ImageDecoderOf(fileName) == TImageFileType::Jpeg;
    std::shared_ptr<const TJpegOrigin> before = jpeg ? JpegOriginOf(fileName) : nullptr;
    const TLoaded loaded = Load(fileName, image, &markers, chooseTurn, chooseScale);
    if (!parsed) kept.Source = TPhotoMetadata::FromMarkers(markers);
    if (loaded.Type == TImageFileType::Heif) {
        // Already turned by the file's own transforms: a saved copy must not be turned again
        // by the orientation its EXIF still records.
        kept.Reoriented = kept.Source != nullptr;
    } else if (loaded.Type == TImageFileType::Raw) {
        if (upright && loaded.RawOrientation != 1) {
            ApplyExifOrientation(image, loaded.RawOrientation);
            kept.Reoriented = true;
        }
    } else if (upright && kept.Source) {
        const int orientation = kept.Source->Orientation();
        if (orientation != 1) {
            if (turnedWhileDecoding != 0)
                ApplyExifOrientationAfterTurn(image, orientation);
            else
                ApplyExifOrientation(image, orientation);
            kept.Reoriented = true;
            kept.Turn = TPixelTurn::ForExifOrientation(orientation);
        }
    }
    image.Changed();
    if (before && loaded.Type == TImageFileType::Jpeg) {
        const std::shared_ptr<const TJpegOrigin> after = JpegOriginOf(fileName);
        if (after && SameJpegOrigin(*after, *before)) {
            kept.Origin = std::move(before);
            kept.TurnedStamp = image.ContentStamp();
        }
    }
    return kept;
}

}  // namespace

TKeptMetadata LoadPhotoFromFile(const QString& fileName, TBitmap32& image, bool upright) {
    return LoadPhoto(fileName, image, upright, {});
}

int ReducedJpegScale(int width, int height, int shownWidth, int shownHeight) {
    if (width <= 0 || height <= 0 || shownWidth <= 0 || shownHeight <= 0) return 1;
    for (const int denominator : {8, 4, 2})
        if (width / denominator >= shownWidth && height / denominator >= shownHeight)
            return denominator;
    return 1;
}

namespace {
// Thrown from the scale choice when the picture is not large enough for a reduced decode:
// the header is all that was read.
struct TNotReduced {};
}  // namespace

bool LoadReducedPhoto(const QString& fileName, bool upright,
                      const std::function<QSize(QSize)>& shownSize, TReducedPhoto& result) {
    if (ImageDecoderOf(fileName) != TImageFileType::Jpeg) return false;
    int scale = 1;
    QSize full;
    const auto chooseScale = [&](int width, int height) {
        full = QSize(width, height);
        const QSize shown = shownSize(full);
        scale = ReducedJpegScale(width, height, shown.width(), shown.height());
        if (scale == 1) throw TNotReduced();
        return scale;
    };
    try {
        result.Metadata = LoadPhoto(fileName, result.Picture, upright, chooseScale);
    } catch (const TNotReduced&) {
        result.Picture.AssignEmpty();
        return false;
    }
    // The pixels are not the file's: nothing may take them for the picture's exact turn.
    result.Metadata.TurnedStamp = 0;
    result.FullSize = full;
    result.Scale = scale;
    return true;
}
