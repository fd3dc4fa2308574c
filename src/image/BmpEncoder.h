#pragma once
// Uncompressed 32-bit BMP: rows bottom-up, each pixel B, G, R and the raster's alpha byte.

#include "image/Bitmap32.h"

class TAtomicFile;

// Throws KelvoError.
void EncodeBmp(TAtomicFile& file, const TBitmap32& image);
