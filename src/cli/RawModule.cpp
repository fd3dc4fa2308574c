// kelvoimage-cli-raw.so: the camera RAW previews, with LibRaw (see cli/LibraryModules.h).

#include "cli/LibraryModuleEntry.h"
#include "image/RawDecoder.h"

namespace {

const TRawModule kTable{
    [](TModuleOutcome& outcome, const QString& fileName, TBitmap32& image,
       std::vector<TJpegMarker>* markers, int& orientation) {
        return RunModuleEntry(outcome,
                              [&] { orientation = DecodeRawPreview(fileName, image, markers); });
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* KelvoLibraryModule() {
    return &kTable;
}
