#pragma once
// Writing a raster to disk in one of the four save formats. Every writer goes through a
// temporary file in the target's folder that replaces the target only once it is complete,
// so a failed save never costs the user the file that was already there.

#include <QString>

#include "image/Bitmap32.h"
#include "image/JpegEncoder.h"
#include "image/PhotoMetadata.h"

enum class TSaveFileType { None, Jpeg, Gif, Png, Bmp };

// ".JPG" ".GIF" ".PNG" ".BMP", case-insensitive; anything else None.
TSaveFileType SaveFileTypeOf(const QString& fileName);

// Why nothing was written to fileName: it names no save type, and which endings do.
QString NoSaveTypeMessage(const QString& fileName);

// How a JPEG is written.
struct TJpegWriteOptions {
    TChromaSampling Sampling = TChromaSampling::Yuv420;
    // Pixels that are exactly their JPEG file's, only turned, flipped or mirrored since the
    // load (TKeptMetadata::HoldsTurnedOrigin), are written from that file's coefficients when
    // the turn is perfect for its size: no generation of loss, and the file keeps its own
    // quality and sampling whatever is asked here. False: always encoded.
    bool LosslessWhenPossible = false;
};

// What a save did besides writing the picture.
struct TSaveOutcome {
    bool Lossless = false;     // the JPEG was written from its origin's coefficients
    bool ExifLeftOut = false;  // the EXIF block could not be written whole and went without
};

// Writes image to fileName in the format of its ending; None writes nothing and reports nothing.
// jpegQuality: the low 8 bits are used, below 1 taken as 1, above 100 as 100. Throws KelvoError.
// A JPEG also carries metadata.Source's blocks, brought up to date with the pixels written
// (TPhotoMetadata::MarkersForSave); a PNG carries its ICC profile; the other formats carry none.
TSaveOutcome WriteImageFile(const QString& fileName, const TBitmap32& image, int jpegQuality,
                            const TKeptMetadata& metadata = {},
                            const TJpegWriteOptions& options = {});
// The same in the given format, whatever the name's ending (None writes nothing).
TSaveOutcome WriteImageFileAs(TSaveFileType type, const QString& fileName,
                              const TBitmap32& image, int jpegQuality,
                              const TKeptMetadata& metadata = {},
                              const TJpegWriteOptions& options = {});

// The warning for a save whose EXIF block was left out; the text alone, for the command line's
// "warning: FILE: text".
QString ExifLeftOutMessage(const QString& fileName);
QString ExifLeftOutText();

// The transparent GIF writer: written as GIF whatever the ending. Pixels whose R,G,B equal the
// bottom-left pixel's exactly become transparent (palette index kTransparentGifIndex).
void WriteTransparentGif(const QString& fileName, const TBitmap32& image);

// The first palette entry past the 216-colour cube; the transparent writer uses it.
inline constexpr int kTransparentGifIndex = 216;

// The quality actually given to the JPEG encoder: the low 8 bits, limited to 1..100.
int ClampJpegQuality(int jpegQuality);
