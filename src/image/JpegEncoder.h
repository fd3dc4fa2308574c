#pragma once
// Baseline colour JPEG at a given quality, straight from the raster's B,G,R,A bytes.

#include <memory>
#include <vector>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

class TAtomicFile;
struct TJpegCompressor;

// How many colour samples the file keeps: one for each 2 x 2 pixels (4:2:0, libjpeg's default
// and the window's), for each 2 x 1 (4:2:2), or for every pixel (4:4:4).
enum class TChromaSampling { Yuv420, Yuv422, Yuv444 };

// quality is used as given (1..100). Throws KelvoError: the codec's message, or the
// "Cannot create file" message when the disk refuses the bytes.
// markers (each payload at most kMaxJpegMarkerPayload bytes) follow the JFIF header.
void EncodeJpeg(TAtomicFile& file, const TBitmap32& image, int quality,
                const std::vector<TJpegMarker>& markers = {},
                TChromaSampling sampling = TChromaSampling::Yuv420);

// The same file written a band of rows at a time, for a writer that never holds the picture;
// EncodeJpeg is one such writer. Throws as EncodeJpeg does; the file is then left to its
// owner, uncommitted.
class TJpegBandWriter {
  public:
    // Writes the headers and the markers of a width x height picture.
    TJpegBandWriter(TAtomicFile& file, int width, int height, int quality,
                    const std::vector<TJpegMarker>& markers,
                    TChromaSampling sampling = TChromaSampling::Yuv420);
    ~TJpegBandWriter();
    TJpegBandWriter(const TJpegBandWriter&) = delete;
    TJpegBandWriter& operator=(const TJpegBandWriter&) = delete;

    // The next count rows of the picture, each width pixels (B,G,R; the fourth byte unread).
    void WriteRows(const TColor32* const* rows, int count);
    // Completes the file once every row is written.
    void Finish();

  private:
    [[noreturn]] void Fail();

    TAtomicFile& FFile;
    std::unique_ptr<TJpegCompressor> FJpeg;
};
