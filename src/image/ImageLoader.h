#pragma once
// Reading image files into a raster. The decoder is chosen by the table of image/ImageFileTypes.h
// (the file's first bytes, then its ending); each format goes through its own codec library.

#include <QSize>
#include <QString>
#include <functional>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

#include "image/ImageFileTypes.h"

// Decodes the file and assigns the result to image (drawn over black with alpha 255, except
// TIFF and 32-bit BMP which keep alpha).
// Throws KelvoError with the exact messages; the image is left empty on failure.
void LoadImageFromFile(const QString& fileName, TBitmap32& image);

// As LoadImageFromFile, and for a JPEG, a HEIF and a camera RAW also what the file carries
// besides pixels (a picture from any other format carries nothing on). upright: a JPEG stored
// with an EXIF orientation of 2..8, or a RAW whose preview is stored turned, is turned upright,
// and the result says its pixels left the stored orientation. A HEIF always arrives turned as
// the file says, so its kept EXIF orientation is never applied and never written again.
TKeptMetadata LoadPhotoFromFile(const QString& fileName, TBitmap32& image, bool upright);

// A large JPEG shown reduced is decoded first at a fraction of its size (libjpeg's 1/2, 1/4 or
// 1/8), which is all the screen shows of it; the full decode follows.
//
// The denominator of the largest of those scales at which a picture of width x height still
// covers shownWidth x shownHeight, the size it is shown at: each side at least that many times
// the shown one. 1 (decode at full size) when even 1/2 would not cover it.
int ReducedJpegScale(int width, int height, int shownWidth, int shownHeight);

struct TReducedPhoto {
    TBitmap32 Picture;  // upright as the full load makes it, at 1/Scale of FullSize
    QSize FullSize;     // the full picture's size as it stands (turned upright)
    int Scale = 1;
    // What the full load keeps besides pixels, but for the exactness of a later turn's
    // lossless save (TurnedStamp), which belongs to the full pixels alone.
    TKeptMetadata Metadata;
};
// The reduced decode of a JPEG: shownSize is asked with the full size as it stands and
// answers the size the picture will be shown at. False, with nothing decoded, for another
// format or when ReducedJpegScale answers 1. Failures throw as LoadPhotoFromFile's.
bool LoadReducedPhoto(const QString& fileName, bool upright,
                      const std::function<QSize(QSize)>& shownSize, TReducedPhoto& result);

// throws "Unable to open file '" + name + "'" / "Unable to create TBitmap buffer"
TBitmap32 ReadTiffFile(const QString& fileName);

// Exchanges bits 0-7 and 16-23 of each of width x height consecutive pixels.
void SwapRedBlue(int width, int height, TColor32* first);
