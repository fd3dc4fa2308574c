// kelvoimage-cli-tags.so: a photo's tags, read and written with Exiv2 (see cli/LibraryModules.h).

#include "cli/LibraryModuleEntry.h"

namespace {

const TTagModule kTable{
    [](TModuleOutcome& outcome, const TPhotoMetadata& metadata, int& orientation) {
        return RunModuleEntry(outcome, [&] { orientation = metadata.Orientation(); });
    },
    [](TModuleOutcome& outcome, const TPhotoMetadata& metadata, int width, int height,
       bool reoriented, bool* exifLeftOut, std::vector<TJpegMarker>& markers) {
        return RunModuleEntry(outcome, [&] {
            markers = metadata.MarkersForSave(width, height, reoriented, exifLeftOut);
        });
    },
    [](TModuleOutcome& outcome, const QString& fileName, QString& report) {
        return RunModuleEntry(outcome, [&] { report = ReadPropertyReport(fileName); });
    },
    [](TModuleOutcome& outcome, const QString& fileName, TTagListing& listing) {
        return RunModuleEntry(outcome, [&] { listing = ReadTagListing(fileName); });
    },
    [](TModuleOutcome& outcome) {
        return RunModuleEntry(outcome, [] { PrepareTagReaderForThreads(); });
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* KelvoLibraryModule() {
    return &kTable;
}
