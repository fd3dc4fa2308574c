// kelvoimage-cli-tiff.so: the TIFF reader, with libtiff (see cli/LibraryModules.h).

#include "cli/LibraryModuleEntry.h"
#include "image/ImageLoader.h"

namespace {

const TTiffModule kTable{
    [](TModuleOutcome& outcome, const QString& fileName, TBitmap32& image) {
        return RunModuleEntry(outcome, [&] { image.Assign(ReadTiffFile(fileName)); });
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* KelvoLibraryModule() {
    return &kTable;
}
