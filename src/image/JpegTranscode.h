#pragma once
// JPEG to JPEG without ever holding the picture: the rows are decoded, changed and encoded a
// band of kJpegBandRows at a time, so memory stays a few megabytes whatever the picture's size.
// Only steps whose result for a pixel depends on that pixel alone can run this way.

#include <QString>
#include <functional>
#include <span>

#include "image/Bitmap32.h"
#include "image/ImageSaver.h"

// A step whose result for each pixel depends on nothing but that pixel: not on its place, its
// neighbours, or any measure of the whole picture. It is handed one band at a time.
using TPixelOperation = std::function<void(TBitmap32& band)>;

// Whether TranscodeJpegInBands can take input to output: the loader reads input as a JPEG (by
// its name) and its bytes start as a JPEG's do, and output names a JPEG. An input that cannot
// be opened is left to the loader, which reports it.
bool CanTranscodeInBands(const QString& input, const QString& output);
// The same for an output written as a JPEG whatever its name (outputIsJpeg).
bool CanTranscodeInBands(const QString& input, bool outputIsJpeg);

// Writes, byte for byte, the file that loading input with LoadPhotoFromFile(input, image,
// false), applying the operations in order to the whole picture and saving with
// WriteImageFile(output, image, jpegQuality, kept) gives, kept being what the load returned
// (keepMetadata) or nothing. Fails as that load and save do: a file libjpeg cannot decode
// throws "JPEG error #n", and on any failure output is left as it was.
// The outcome says whether the EXIF block had to be left out.
TSaveOutcome TranscodeJpegInBands(const QString& input, const QString& output, int jpegQuality,
                                  std::span<const TPixelOperation> operations, bool keepMetadata,
                                  TChromaSampling sampling = TChromaSampling::Yuv420);
