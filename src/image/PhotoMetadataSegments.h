#pragma once
// The segments a JPEG carries its metadata in, shared by the two halves of the kept metadata
// (image/PhotoMetadata.cpp reads them from the markers, image/PhotoMetadataTags.cpp writes them).

#include <QByteArray>

#include "image/PhotoMetadata.h"

namespace photo_segments {

// The signatures that open each kind of segment, their terminating NUL included.
inline const QByteArray kExifSignature("Exif\0\0", 6);
inline const QByteArray kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
inline const QByteArray kIccSignature("ICC_PROFILE\0", 12);
inline const QByteArray kPhotoshopSignature("Photoshop 3.0\0", 14);

inline constexpr int kApp1 = 0xE1;
inline constexpr int kApp2 = 0xE2;
inline constexpr int kApp13 = 0xED;

// An ICC profile travels in numbered pieces after its signature, sequence number and count.
inline constexpr int kIccPieceHeader = 14;
inline constexpr int kIccPieceSize = kMaxJpegMarkerPayload - kIccPieceHeader;

}  // namespace photo_segments
