// Loading the page module of --print-pdf (see PdfPageModule.h).

#include <new>

#include "base/KelvoError.h"
#include "cli/ModuleLoader.h"
#include "cli/PdfPageModule.h"

void WritePdfPageThroughModule(const QString& fileName, const TBitmap32& image, bool letter) {
    // Loaded once and kept: the process ends soon after the page is written.
    static const auto entry = reinterpret_cast<TWritePdfPageEntry>(LoadModuleEntry(
        kPdfPageModuleFile, kPdfPageEntryName, QStringLiteral("The PDF page cannot be drawn")));
    QString error;
    const TPdfPageRequest request{&fileName, &image, letter, &error};
    switch (entry(&request)) {
        case kPdfPageWritten:
            return;
        case kPdfPageOutOfMemory:
            throw std::bad_alloc();
        default:
            throw KelvoError(error);
    }
}
