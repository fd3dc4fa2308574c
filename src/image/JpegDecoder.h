#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "image/Bitmap32.h"
#include "image/DecoderSupport.h"
#include "image/PhotoMetadata.h"

struct TJpegDecompressor;

// Rows decoded at a time: one output row group of a 4:2:0 file, and a band of 6000-pixel rows
// stays well inside the second-level cache.
inline constexpr int kJpegBandRows = 16;

// A JPEG file's rows in order, a band at a time, for a reader that never holds the picture;
// DecodeJpegFile is one such reader. Every failure throws, as DecodeJpegFile's do.
class TJpegBandReader {
  public:
    // Opens the file and reads its header, with every refusal of DecodeJpegFile that comes
    // before the pixels (a declared size no raster may hold, a decompression bomb). markers,
    // when given, receives the segments the photo's metadata is made of, as DecodeJpegFile's.
    TJpegBandReader(const QString& fileName, std::vector<TJpegMarker>* markers);
    // The same over a JPEG that is part of another file (a camera RAW's preview): size bytes
    // read from source, which the caller keeps open, and which bound the memory as a file's do.
    TJpegBandReader(std::FILE* source, std::int64_t size, std::vector<TJpegMarker>* markers);
    ~TJpegBandReader();
    TJpegBandReader(const TJpegBandReader&) = delete;
    TJpegBandReader& operator=(const TJpegBandReader&) = delete;

    // The size the rows come out at: the picture's own, or at the scale SetScale chose.
    int Width() const;
    int Height() const;
    // Decodes at 1/denominator of the picture's size (2, 4 or 8; 1 is the full size), each
    // side rounded up, as libjpeg scales: its inverse DCT makes the smaller picture directly,
    // at a fraction of the full decode's work. Before Start.
    void SetScale(int denominator);
    // Starts the decompression (libjpeg reserves its own buffers here), once, before ReadRows.
    void Start();
    // The index of the row ReadRows decodes next; Height() once all are read.
    int NextRow() const;
    // Decodes the next rows into rows[0..count), count at most kJpegBandRows, as B,G,R,A with
    // alpha 255; returns how many the picture still had (count unless it ends sooner).
    int ReadRows(TColor32* const* rows, int count);
    // Reads what follows the last row, after ReadRows has delivered them all.
    void Finish();

  private:
    void ReadHeaderFrom(std::FILE* source, std::int64_t size, std::vector<TJpegMarker>* markers);

    std::optional<TImageInputFile> FFile;
    std::unique_ptr<TJpegDecompressor> FJpeg;
    int FScale = 1;
};

// Decodes a JPEG file at full size straight into the raster (alpha 255). Any file libjpeg
// rejects fails with "JPEG error #n", n being libjpeg's message code. Corrupt-data warnings do
// not stop the decoder: a truncated photograph shows what it holds, the rest filled grey.
// markers, when given, receives in file order the segments TPhotoMetadata::FromMarkers makes
// the photo's metadata of: the first EXIF block, the first XMP packet, the ICC profile's pieces
// and the Photoshop (IPTC) blocks, each at most once and the last bounded in total. Every other
// APPn segment, empty or repeated ones among them, is skipped as it is read.
void DecodeJpegFile(const QString& fileName, TBitmap32& image,
                    std::vector<TJpegMarker>* markers = nullptr);

// A quarter turn made while the picture is decoded, a band of rows at a time, so that no
// unturned picture is ever stored.
enum class TDecodeTurn { None, Clockwise, CounterClockwise };
// The same decode, with the turn chosen from the saved markers once the header has been read
// (the picture then arrives height x width). markers must be given. chooseScale, when given,
// is asked next with the picture's full size as it will stand (turned) and answers SetScale's
// denominator.
void DecodeJpegFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers,
                    const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn,
                    const std::function<int(int width, int height)>& chooseScale = {});

// A decode that nobody waits for any more (the picture it was making was replaced before it
// was done) ends at the next band of rows on its thread while one of these is alive there and
// its flag is set: it throws TJpegDecodeCancelled, and the raster is left as a failed decode
// leaves it.
class TJpegCancellation {
  public:
    explicit TJpegCancellation(const std::atomic<bool>& cancelled);
    ~TJpegCancellation();
    TJpegCancellation(const TJpegCancellation&) = delete;
    TJpegCancellation& operator=(const TJpegCancellation&) = delete;
    // Whether the innermost one alive on this thread has been cancelled.
    static bool Requested() noexcept;

  private:
    const std::atomic<bool>& FCancelled;
    TJpegCancellation* FOuter = nullptr;
};
struct TJpegDecodeCancelled {};

// libjpeg's warning about a file it still decodes (corrupt data, a premature end), one per
// decode, goes to the innermost TJpegWarnings alive on the decoding thread; without one it is
// dropped, as the window shows such a file without a word.
class TJpegWarnings {
  public:
    TJpegWarnings();
    ~TJpegWarnings();
    TJpegWarnings(const TJpegWarnings&) = delete;
    TJpegWarnings& operator=(const TJpegWarnings&) = delete;

    // libjpeg's texts, in the order the decodes met them.
    const std::vector<QString>& Texts() const { return FTexts; }
    // The innermost on this thread; null when there is none.
    static TJpegWarnings* Current();
    void Add(const char* text) noexcept;

  private:
    std::vector<QString> FTexts;
    TJpegWarnings* FOuter = nullptr;
};

// DecodeJpegFile over a JPEG held in another file, as TJpegBandReader's second constructor reads
// it; failures are DecodeJpegFile's.
void DecodeJpegStream(std::FILE* source, std::int64_t size, TBitmap32& image,
                      std::vector<TJpegMarker>* markers,
                      const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn);

// A progressive file may carry any number of scans, each one a full pass over the coefficients;
// beyond this many the file is refused as a CPU bomb (no encoder writes more than a few dozen).
constexpr int kMaxJpegScans = 1000;
// The message code reported for a file refused for too many scans.
constexpr int kJpegTooManyScansCode = 1000;
