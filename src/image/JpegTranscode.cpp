#include "image/JpegTranscode.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "base/AtomicFile.h"
#include "base/WholeFile.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegDecoder.h"
#include "image/JpegEncoder.h"
#include "image/PhotoMetadata.h"

namespace {

// The start-of-image marker, the one thing libjpeg checks before it reads any further. Two
// bytes read directly: a stdio stream would read a whole buffer of the file for them.
bool StartsAsJpeg(const QString& fileName) {
    const int descriptor = OpenRegularFileForReading(fileName);
    if (descriptor < 0) return false;
    unsigned char start[2] = {};
    const bool jpeg = ::read(descriptor, start, 2) == 2 && start[0] == 0xFF && start[1] == 0xD8;
    ::close(descriptor);
    return jpeg;
}

}  // namespace

bool CanTranscodeInBands(const QString& input, const QString& output) {
    return CanTranscodeInBands(input, SaveFileTypeOf(output) == TSaveFileType::Jpeg);
}

bool CanTranscodeInBands(const QString& input, bool outputIsJpeg) {
    return outputIsJpeg && ImageDecoderOf(input) == TImageFileType::Jpeg && StartsAsJpeg(input);
}

TSaveOutcome TranscodeJpegInBands(const QString& input, const QString& output, int jpegQuality,
                                  std::span<const TPixelOperation> operations, bool keepMetadata,
                                  TChromaSampling sampling) {
    TSaveOutcome outcome;
    // The markers are read whether kept or not, as the load reads them.
    std::vector<TJpegMarker> found;
    TJpegBandReader reader(input, &found);
    const int width = reader.Width();
    const int height = reader.Height();
    const auto source = keepMetadata ? TPhotoMetadata::FromMarkers(found) : nullptr;
    // The picture keeps the stored orientation: nothing here moves a pixel.
    const std::vector<TJpegMarker> markers =
        source ? source->MarkersForSave(width, height, false, &outcome.ExifLeftOut)
               : std::vector<TJpegMarker>();
    TBitmap32 band;
    band.SetSize(width, std::min(kJpegBandRows, height));
    reader.Start();

    TAtomicFile file(output);
    TJpegBandWriter writer(file, width, height, ClampJpegQuality(jpegQuality), markers, sampling);
    TColor32* rows[kJpegBandRows];
    while (reader.NextRow() < height) {
        const int count = std::min(kJpegBandRows, height - reader.NextRow());
        if (band.Height() != count) band.SetSize(width, count);
        for (int i = 0; i < count; ++i)
            rows[i] = band.ScanLine(i);
        reader.ReadRows(rows, count);
        for (const TPixelOperation& operation : operations)
            operation(band);
        writer.WriteRows(rows, count);
    }
    reader.Finish();
    writer.Finish();
    file.Commit();
    return outcome;
}
