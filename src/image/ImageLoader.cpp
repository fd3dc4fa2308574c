#include "image/ImageLoader.h"

#include <QtGlobal>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "base/OnFailure.h"
#include "image/BmpDecoder.h"
#include "image/GifDecoder.h"
#include "image/JpegDecoder.h"
#include "image/LosslessJpeg.h"
#include "image/PngDecoder.h"

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

void Load(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* jpegMarkers,
          const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn = {}) {
    // Whatever a decoder had written, a failed load leaves nothing half-made behind.
    const TOnFailure emptied([&image] { image.AssignEmpty(); });
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
            DecodeJpegFile(fileName, image, jpegMarkers, chooseTurn);
            break;
    }
}

}  // namespace

void LoadImageFromFile(const QString& fileName, TBitmap32& image) {
    const TQuietQtMessages quiet;
    Load(fileName, image, nullptr);
    image.Changed();
}

TKeptMetadata LoadPhotoFromFile(const QString& fileName, TBitmap32& image, bool upright) {
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
    const bool jpeg = ImageFileTypeOf(fileName) == TImageFileType::Jpeg;
    std::shared_ptr<const TJpegOrigin> before = jpeg ? JpegOriginOf(fileName) : nullptr;
    Load(fileName, image, &markers, chooseTurn);
    if (!parsed) kept.Source = TPhotoMetadata::FromMarkers(markers);
    if (upright && kept.Source) {
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
    if (before) {
        const std::shared_ptr<const TJpegOrigin> after = JpegOriginOf(fileName);
        if (after && after->Device == before->Device && after->Inode == before->Inode &&
            after->Size == before->Size && after->ModifiedNs == before->ModifiedNs &&
            after->ChangedNs == before->ChangedNs) {
            kept.Origin = std::move(before);
            kept.TurnedStamp = image.ContentStamp();
        }
    }
    return kept;
}
