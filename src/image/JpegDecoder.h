#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

// Decodes a JPEG file at full size straight into the raster (alpha 255). Any file libjpeg
// rejects fails with "JPEG error #n", n being libjpeg's message code. Corrupt-data warnings do
// not stop the decoder: a truncated photograph shows what it holds, the rest filled grey.
// markers, when given, receives the file's APP1, APP2 and APP13 segments in file order (where
// EXIF, XMP, ICC profiles and IPTC records live).
void DecodeJpegFile(const QString& fileName, TBitmap32& image,
                    std::vector<TJpegMarker>* markers = nullptr);

// A quarter turn made while the picture is decoded, a band of rows at a time, so that no
// unturned picture is ever stored.
enum class TDecodeTurn { None, Clockwise, CounterClockwise };
// The same decode, with the turn chosen from the saved markers once the header has been read
// (the picture then arrives height x width). markers must be given.
void DecodeJpegFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers,
                    const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn);

// A progressive file may carry any number of scans, each one a full pass over the coefficients;
// beyond this many the file is refused as a CPU bomb (no encoder writes more than a few dozen).
constexpr int kMaxJpegScans = 1000;
// The message code reported for a file refused for too many scans.
constexpr int kJpegTooManyScansCode = 1000;
