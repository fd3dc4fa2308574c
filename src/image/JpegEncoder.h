#pragma once
// Baseline colour JPEG at a given quality, straight from the raster's B,G,R,A bytes.

#include <vector>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

class TAtomicFile;

// quality is used as given (1..100). Throws KelvoError: the codec's message, or the
// "Cannot create file" message when the disk refuses the bytes.
// markers (each payload at most kMaxJpegMarkerPayload bytes) follow the JFIF header.
void EncodeJpeg(TAtomicFile& file, const TBitmap32& image, int quality,
                const std::vector<TJpegMarker>& markers = {});
