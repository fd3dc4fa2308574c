#pragma once
// Truecolour PNG, 8 bits per channel, no alpha, Sub filter on every row.

#include <QByteArray>

#include "image/Bitmap32.h"

class TAtomicFile;

// Throws KelvoError: the codec's message, or "Cannot create file" when the disk refuses.
// iccProfile, when not empty, goes into an iCCP chunk, so colour-managed viewers show the
// colours the photo was taken in; a profile libpng finds malformed is left out.
void EncodePng(TAtomicFile& file, const TBitmap32& image, const QByteArray& iccProfile = {});
