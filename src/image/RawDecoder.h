#pragma once

#include <QString>
#include <vector>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

// Reads a camera RAW file (CR2, CR3, NEF, ARW, DNG, ORF, RW2, RAF, PEF, SRW, ...) as the camera's
// own preview: the largest picture the file embeds, a JPEG decoded by the JPEG decoder or a
// bitmap, as stored (not turned). The RAW data itself is not developed. Returns the EXIF
// orientation (1..8) that the file records for the preview, for the caller to turn it upright.
// markers, when given, receives the RAW's own EXIF as a JPEG's APP1 segment, without the
// maker's private data and the RAW's structure. Failures name the file and give LibRaw's reason,
// or "...holds no preview picture".
int DecodeRawPreview(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers);
