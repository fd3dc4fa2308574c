#include "image/PhotoMetadata.h"

#include <cstring>
#include <memory>
#include <vector>

#include "image/PhotoMetadataSegments.h"
#include "image/QuarterTurns.h"

using namespace photo_segments;

namespace {

QByteArray AssembledIccProfile(const std::vector<const QByteArray*>& pieces) {
    // Every piece names the same count and its own place in 1..count, each place once.
    if (pieces.empty()) return {};
    const int count = static_cast<unsigned char>(pieces.front()->at(13));
    if (count == 0 || int(pieces.size()) != count) return {};
    std::vector<const QByteArray*> ordered(std::size_t(count), nullptr);
    for (const QByteArray* piece : pieces) {
        const int number = static_cast<unsigned char>(piece->at(12));
        if (static_cast<unsigned char>(piece->at(13)) != count || number < 1 || number > count ||
            ordered[std::size_t(number - 1)])
            return {};
        ordered[std::size_t(number - 1)] = piece;
    }
    QByteArray profile;
    for (const QByteArray* piece : ordered)
        profile += piece->mid(kIccPieceHeader);
    return profile;
}

}  // namespace

std::shared_ptr<const TPhotoMetadata> TPhotoMetadata::FromMarkers(
    const std::vector<TJpegMarker>& markers) {
    auto metadata = std::make_shared<TPhotoMetadata>();
    std::vector<const QByteArray*> iccPieces;
    for (const TJpegMarker& marker : markers) {
        const QByteArray& payload = marker.Payload;
        if (marker.Code == kApp1 && payload.startsWith(kExifSignature)) {
            if (metadata->FExif.isEmpty()) metadata->FExif = payload.mid(kExifSignature.size());
        } else if (marker.Code == kApp1 && payload.startsWith(kXmpSignature)) {
            if (metadata->FXmp.isEmpty()) metadata->FXmp = payload.mid(kXmpSignature.size());
        } else if (marker.Code == kApp2 && payload.startsWith(kIccSignature) &&
                   payload.size() > kIccPieceHeader) {
            iccPieces.push_back(&payload);
        } else if (marker.Code == kApp13 && payload.startsWith(kPhotoshopSignature)) {
            metadata->FPhotoshop += payload.mid(kPhotoshopSignature.size());
        }
    }
    metadata->FIcc = AssembledIccProfile(iccPieces);
    if (metadata->FExif.isEmpty() && metadata->FXmp.isEmpty() && metadata->FPhotoshop.isEmpty() &&
        metadata->FIcc.isEmpty())
        return nullptr;
    return metadata;
}

std::shared_ptr<const TPhotoMetadata> TPhotoMetadata::WithXmp(
    const std::shared_ptr<const TPhotoMetadata>& source, const QByteArray& xmp) {
    auto metadata = source ? std::make_shared<TPhotoMetadata>(*source)
                           : std::make_shared<TPhotoMetadata>();
    metadata->FXmp = xmp;
    return metadata;
}

int ExifQuarterTurn(int orientation) {
    switch (orientation) {
        case 5:
        case 6:
        case 7:
            return 1;
        case 8:
            return -1;
        default:
            return 0;
    }
}

void ApplyExifOrientationAfterTurn(TBitmap32& image, int orientation) {
    switch (orientation) {
        case 2:
        case 5:
            MirrorHorizontalInPlace(image);
            break;
        case 3:
            FlipVerticalInPlace(image);
            MirrorHorizontalInPlace(image);
            break;
        case 4:
        case 7:
            FlipVerticalInPlace(image);
            break;
        default:
            break;
    }
}

void ApplyExifOrientation(TBitmap32& image, int orientation) {
    // Each case undoes what the camera recorded: 2 mirrored, 3 turned half, 4 flipped, 5 mirrored
    // and turned a quarter anticlockwise, 6 turned a quarter anticlockwise, 7 flipped and turned
    // a quarter anticlockwise, 8 turned a quarter clockwise.
    const int turn = ExifQuarterTurn(orientation);
    if (turn > 0) image.TurnClockwise();
    if (turn < 0) image.TurnCounterClockwise();
    ApplyExifOrientationAfterTurn(image, orientation);
}
