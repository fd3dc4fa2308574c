// A job of quarter turns, flips and mirrors, JPEG to JPEG: the input's coefficients laid the new
// way, never a pixel decoded.

#include <algorithm>
#include <vector>

#include "cli/CliOptions.h"
#include "image/JpegDecoder.h"
#include "image/JpegTranscode.h"
#include "image/LosslessJpeg.h"

std::optional<TSaveOutcome> TurnJpegLosslessly(const TCliJob& job) {
    if (job.Report || !job.ReadsPicture || job.EncodingChosen || job.Operations.empty() ||
        !std::all_of(job.Operations.begin(), job.Operations.end(),
                     [](const TCliStep& step) { return step.Turn || step.TurnsUpright; }) ||
        !CanTranscodeInBands(job.Input, true))
        return std::nullopt;
    // The file is read whole once, into one store of its size, and only if it is still the
    // file whose header was read.
    const std::shared_ptr<const TJpegOrigin> origin = JpegOriginOf(job.Input);
    if (!origin) return std::nullopt;
    // The header alone, read with every refusal the decoder makes before the pixels.
    std::vector<TJpegMarker> found;
    int width = 0;
    int height = 0;
    {
        const TJpegBandReader reader(job.Input, &found);
        width = reader.Width();
        height = reader.Height();
    }
    const std::shared_ptr<const TPhotoMetadata> source = TPhotoMetadata::FromMarkers(found);
    const TPixelTurn upright = TPixelTurn::ForExifOrientation(source ? source->Orientation() : 1);
    // The same turns the raster path makes: the load's upright turn, then each step's.
    const bool loadsUpright = LoadsUpright(job);
    TPixelTurn turn = loadsUpright ? upright : TPixelTurn();
    for (const TCliStep& step : job.Operations)
        if (step.Turn)
            turn = turn.Then(*step.Turn);
        else if (!loadsUpright)
            turn = turn.Then(upright);
    if (turn.SwapsSides()) std::swap(width, height);
    TSaveOutcome outcome;
    const std::vector<TJpegMarker> markers =
        source && !job.StripMetadata
            ? source->MarkersForSave(width, height, true, &outcome.ExifLeftOut)
            : std::vector<TJpegMarker>();
    const std::optional<TLargeBlock> bytes = ReadUnchangedOrigin(*origin);
    if (!bytes || !WriteTurnedJpeg(job.Output, *bytes, turn, markers)) return std::nullopt;
    outcome.Lossless = true;
    return outcome;
}
