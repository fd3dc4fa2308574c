// kelvoimage-cli-heif.so: the HEIF and AVIF decoder, with libheif (see cli/LibraryModules.h).

#include "cli/LibraryModuleEntry.h"
#include "image/HeifDecoder.h"

namespace {

const THeifModule kTable{
    [](TModuleOutcome& outcome, const QString& fileName, TBitmap32& image,
       std::vector<TJpegMarker>* markers) {
        return RunModuleEntry(outcome, [&] { DecodeHeifFile(fileName, image, markers); });
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* KelvoLibraryModule() {
    return &kTable;
}
