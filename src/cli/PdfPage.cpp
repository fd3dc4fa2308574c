// Loading the page module of --print-pdf (see PdfPageModule.h).

#include <dlfcn.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <new>

#include "base/KelvoError.h"
#include "cli/PdfPageModule.h"

namespace {

// Loaded once and kept: the process ends soon after the page is written.
TWritePdfPageEntry LoadEntry() {
    const QString folder = QCoreApplication::applicationDirPath();
    const QStringList places = {
        folder + QLatin1Char('/') + QLatin1String(kPdfPageModuleFile),
        folder + QStringLiteral("/../lib/kelvoimage/") + QLatin1String(kPdfPageModuleFile),
    };
    QString reason;
    for (const QString& place : places) {
        if (!QFileInfo::exists(place)) continue;
        void* module = ::dlopen(QFileInfo(place).canonicalFilePath().toLocal8Bit().constData(),
                                RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reason = QString::fromLocal8Bit(::dlerror());
            continue;
        }
        if (void* entry = ::dlsym(module, kPdfPageEntryName))
            return reinterpret_cast<TWritePdfPageEntry>(entry);
        reason = QString::fromLocal8Bit(::dlerror());
    }
    throw KelvoError(QStringLiteral("The PDF page cannot be drawn: %1")
                         .arg(reason.isEmpty() ? QStringLiteral("%1 is not installed beside "
                                                                "the program or in "
                                                                "../lib/kelvoimage/")
                                                     .arg(QLatin1String(kPdfPageModuleFile))
                                               : reason));
}

}  // namespace

void WritePdfPageThroughModule(const QString& fileName, const TBitmap32& image, bool letter) {
    static const TWritePdfPageEntry entry = LoadEntry();
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
