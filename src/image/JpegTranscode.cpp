#include "image/JpegTranscode.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"
#include "image/DecoderSupport.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegDecoder.h"
#include "image/JpegEncoder.h"
#include "image/PhotoMetadata.h"

namespace {

// The start-of-image marker, the one thing libjpeg checks before it reads any further.
bool StartsAsJpeg(const QString& fileName) {
    try {
        const TImageInputFile file(fileName);
        unsigned char start[2] = {};
        return std::fread(start, 1, 2, file.Handle()) == 2 && start[0] == 0xFF && start[1] == 0xD8;
    } catch (const KelvoError&) {
        return false;
    }
}

}  // namespace

bool CanTranscodeInBands(const QString& input, const QString& output) {
    return SaveFileTypeOf(output) == TSaveFileType::Jpeg &&
           ImageFileTypeOf(input) == TImageFileType::Jpeg && StartsAsJpeg(input);
}

void TranscodeJpegInBands(const QString& input, const QString& output, int jpegQuality,
                          std::span<const TPixelOperation> operations, bool keepMetadata) {
    // The markers are read whether kept or not, as the load reads them.
    std::vector<TJpegMarker> found;
    TJpegBandReader reader(input, &found);
    const int width = reader.Width();
    const int height = reader.Height();
    const auto source = keepMetadata ? TPhotoMetadata::FromMarkers(found) : nullptr;
    // The picture keeps the stored orientation: nothing here moves a pixel.
    const std::vector<TJpegMarker> markers =
        source ? source->MarkersForSave(width, height, false) : std::vector<TJpegMarker>();
    TBitmap32 band;
    band.SetSize(width, std::min(kJpegBandRows, height));
    reader.Start();

    TAtomicFile file(output);
    TJpegBandWriter writer(file, width, height, ClampJpegQuality(jpegQuality), markers);
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
}
