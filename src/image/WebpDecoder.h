#pragma once

#include <QString>

#include "image/Bitmap32.h"

// Decodes a WebP file, lossy or lossless, into the raster; an animation gives its first frame
// as the canvas shows it. Colours are drawn over black as every other picture's are, and the
// alpha bytes are kept as the file had them (255 where it has none). Failures name the file and
// libwebp's reason.
void DecodeWebpFile(const QString& fileName, TBitmap32& image);
