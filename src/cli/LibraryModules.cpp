// The tool's definitions of the functions that live in its library modules: each loads its
// module on first use and calls the same function there (see LibraryModules.h).

#include "cli/LibraryModules.h"

#include <new>
#include <stdexcept>

#include "base/KelvoError.h"
#include "cli/ModuleLoader.h"
#include "image/HeifDecoder.h"
#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"
#include "image/RawDecoder.h"

namespace {

// One table of each kind, loaded by the first thread that needs it and kept; a module that cannot
// be loaded is tried again by the next file, which gets the same message.
template <class Table>
const Table& LoadedModule(const char* moduleFile, const char* failure) {
    static const Table* const table = static_cast<const Table*>(
        reinterpret_cast<TLibraryModuleEntry>(
            LoadModuleEntry(moduleFile, kLibraryModuleEntryName, QString::fromUtf8(failure)))());
    return *table;
}

// Carries an entry's result over as the direct call would have ended: its libjpeg warnings to
// the tool's collector, its failure thrown again.
void Finish(int result, const TModuleOutcome& outcome) {
    if (TJpegWarnings* warnings = TJpegWarnings::Current())
        for (const QString& text : outcome.JpegWarnings)
            warnings->Add(text.toLocal8Bit().constData());
    switch (result) {
        case kModuleDone:
            return;
        case kModuleOutOfMemory:
            throw std::bad_alloc();
        case kModuleFailedOther:
            throw std::runtime_error(outcome.Error.toLocal8Bit().toStdString());
        default:
            throw KelvoError(outcome.Error);
    }
}

const TTiffModule& TiffModule() {
    return LoadedModule<TTiffModule>("kelvoimage-cli-tiff.so", "TIFF pictures cannot be read");
}
const THeifModule& HeifModule() {
    return LoadedModule<THeifModule>("kelvoimage-cli-heif.so",
                                     "HEIF and AVIF pictures cannot be read");
}
const TRawModule& RawModule() {
    return LoadedModule<TRawModule>("kelvoimage-cli-raw.so", "Camera RAW files cannot be read");
}
// Exiv2's XMP parser must be set up before two threads read tags; the module is loaded under the
// lock of its first use, so it is set up there, whichever file of a batch comes first.
const TTagModule& TagModule() {
    static const TTagModule& table = []() -> const TTagModule& {
        const TTagModule& loaded = LoadedModule<TTagModule>(
            "kelvoimage-cli-tags.so", "The photo's tags cannot be read or written");
        TModuleOutcome outcome;
        Finish(loaded.PrepareTagReaderForThreads(outcome), outcome);
        return loaded;
    }();
    return table;
}

}  // namespace

TBitmap32 ReadTiffFile(const QString& fileName) {
    TBitmap32 image;
    TModuleOutcome outcome;
    Finish(TiffModule().ReadTiffFile(outcome, fileName, image), outcome);
    return image;
}

void DecodeHeifFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers) {
    TModuleOutcome outcome;
    Finish(HeifModule().DecodeHeifFile(outcome, fileName, image, markers), outcome);
}

int DecodeRawPreview(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers) {
    TModuleOutcome outcome;
    int orientation = 1;
    Finish(RawModule().DecodeRawPreview(outcome, fileName, image, markers, orientation), outcome);
    return orientation;
}

int TPhotoMetadata::Orientation() const {
    TModuleOutcome outcome;
    int orientation = 1;
    Finish(TagModule().Orientation(outcome, *this, orientation), outcome);
    return orientation;
}

std::vector<TJpegMarker> TPhotoMetadata::MarkersForSave(int width, int height, bool reoriented,
                                                        bool* exifLeftOut) const {
    TModuleOutcome outcome;
    std::vector<TJpegMarker> markers;
    Finish(TagModule().MarkersForSave(outcome, *this, width, height, reoriented, exifLeftOut,
                                      markers),
           outcome);
    return markers;
}

QString ReadPropertyReport(const QString& fileName) {
    TModuleOutcome outcome;
    QString report;
    Finish(TagModule().ReadPropertyReport(outcome, fileName, report), outcome);
    return report;
}

TTagListing ReadTagListing(const QString& fileName) {
    TModuleOutcome outcome;
    TTagListing listing;
    Finish(TagModule().ReadTagListing(outcome, fileName, listing), outcome);
    return listing;
}

void PrepareTagReaderForThreads() {
    // Nothing to do before the threads start: the tag module sets the reader up as it is loaded
    // (TagModule), and a batch without tags never loads it.
}
