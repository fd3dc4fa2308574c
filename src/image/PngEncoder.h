#pragma once
// Truecolour PNG, 8 bits per channel, no alpha, Sub filter on every row.

#include "image/Bitmap32.h"

class TAtomicFile;

// Throws KelvoError: the codec's message, or "Cannot create file" when the disk refuses.
void EncodePng(TAtomicFile& file, const TBitmap32& image);
