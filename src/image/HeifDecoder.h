#pragma once

#include <QString>
#include <vector>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

// Decodes the primary picture of a HEIF file (HEIC, or AVIF) into the raster, with the file's
// own turn, mirror and crop applied as libheif defines them, so it arrives as it is meant to be
// seen: its EXIF orientation is not to be applied again. Colours are drawn over black with the
// alpha bytes kept (255 where the file has no alpha); deeper pictures come down to 8 bits.
// markers, when given, receives the picture's EXIF, XMP and ICC profile as the segments a JPEG
// would carry them in, so the photo's metadata is kept as a JPEG's is. Failures name the file
// and give libheif's reason.
void DecodeHeifFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers);
