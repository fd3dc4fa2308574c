#pragma once
// What a camera JPEG carries besides its pixels (EXIF, XMP, IPTC and an ICC profile), kept as
// the file held it from the load on, and written into the JPEG files saved from that picture,
// brought up to date with the pixels written. Also the EXIF orientation and its application to
// a raster.

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/Bitmap32.h"
#include "image/PixelTurn.h"

struct TJpegOrigin;

// One marker segment of a JPEG file: its marker code (0xE1 for APP1, ...) and its payload, the
// bytes after the two length bytes.
struct TJpegMarker {
    int Code = 0;
    QByteArray Payload;
};

// A payload holds at most this many bytes: the length field counts itself and is 16 bits.
inline constexpr int kMaxJpegMarkerPayload = 65533;

class TPhotoMetadata {
  public:
    // The metadata among the APP1, APP2 and APP13 segments of a JPEG file, in file order; null
    // when they hold none. Segments of unknown kinds and an incomplete ICC profile are ignored.
    static std::shared_ptr<const TPhotoMetadata> FromMarkers(
        const std::vector<TJpegMarker>& markers);

    // The EXIF Orientation, 1 to 8; 1 when the tag is missing, out of range or unreadable.
    int Orientation() const;

    // The segments to write after the JFIF header of a new JPEG of width x height pixels:
    // EXIF with its thumbnail removed and its pixel dimensions set to the written size, XMP
    // likewise, the ICC profile and the IPTC records. reoriented: the pixels are no longer in
    // the orientation the file stored them in, so every Orientation tag becomes 1. A block that
    // cannot be read back or would not fit in its segment is left out; the others still go.
    // EXIF that would not fit in its segment loses its maker note; if even that is not enough
    // it is left out whole and exifLeftOut (when given) is set: no tag is ever dropped one by
    // one behind the caller's back.
    std::vector<TJpegMarker> MarkersForSave(int width, int height, bool reoriented,
                                            bool* exifLeftOut = nullptr) const;

    // The raw blocks as the file held them: EXIF's TIFF structure (without "Exif\0\0"), the XMP
    // packet, the concatenated Photoshop resource blocks, the ICC profile. Empty when absent.
    const QByteArray& Exif() const { return FExif; }
    const QByteArray& Xmp() const { return FXmp; }
    const QByteArray& PhotoshopResources() const { return FPhotoshop; }
    const QByteArray& IccProfile() const { return FIcc; }

    // The same metadata with its XMP packet replaced, for a file whose XMP was rewritten since
    // the load (a rating), so that a later save carries the new packet; from null, metadata that
    // holds just that packet.
    static std::shared_ptr<const TPhotoMetadata> WithXmp(
        const std::shared_ptr<const TPhotoMetadata>& source, const QByteArray& xmp);

  private:
    QByteArray FExif;
    QByteArray FXmp;
    QByteArray FPhotoshop;
    QByteArray FIcc;
};

// The metadata that goes with the picture being edited: the file's blocks (null for a picture
// from another format or from the clipboard), and whether the pixels show the picture as it is
// meant to be seen (the load turned them upright, or a turn, flip, mirror or free rotation was
// made), so that a file written from them says Orientation 1. A crop or a change of scale keeps
// the pixels as they lay, and the file's own orientation stays true.
struct TKeptMetadata {
    std::shared_ptr<const TPhotoMetadata> Source;
    bool Reoriented = false;

    // The JPEG file the pixels were decoded from, as it was then; null for any other picture.
    std::shared_ptr<const TJpegOrigin> Origin;
    // While the pixels held are exactly the origin's decoded pixels laid Turn's way (only
    // quarter turns, flips and mirrors since the load, the upright turn included),
    // TurnedStamp is the content stamp of the raster holding them; 0 once anything else may
    // have touched them. A JPEG save of such pixels transforms the file's coefficients instead
    // of encoding.
    TPixelTurn Turn;
    std::uint64_t TurnedStamp = 0;

    // Whether the raster holds exactly the origin's pixels laid Turn's way.
    bool HoldsTurnedOrigin(const TBitmap32& image) const {
        return Origin && TurnedStamp != 0 && TurnedStamp == image.ContentStamp();
    }
    // The raster that held this picture (content stamp `before`) was turned, flipped or
    // mirrored and now has the content stamp `after`.
    void Turned(TPixelTurn turn, std::uint64_t before, std::uint64_t after) {
        Reoriented = true;
        const bool exact = Origin && TurnedStamp != 0 && TurnedStamp == before;
        Turn = Turn.Then(turn);
        TurnedStamp = exact ? after : 0;
    }
};

// Turns a raster stored with EXIF orientation 2..8 upright; 1 and values outside 1..8 leave it
// as it is. Flips and mirrors work in place; a quarter turn needs the one new store it makes.
void ApplyExifOrientation(TBitmap32& image, int orientation);
// ApplyExifOrientation in two steps, for a picture turned while it was decoded: the quarter
// turn it begins with (1 clockwise, -1 anticlockwise, 0 none), then the flip or mirror that
// follows that turn.
int ExifQuarterTurn(int orientation);
void ApplyExifOrientationAfterTurn(TBitmap32& image, int orientation);
