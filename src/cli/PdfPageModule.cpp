// kelvoimage-cli-pdf.so: the page of --print-pdf, drawn with QtGui (see PdfPageModule.h).

#include "cli/PdfPageModule.h"

#include <QPageSize>
#include <exception>
#include <new>

#include "base/KelvoError.h"
#include "info/PrintPage.h"

extern "C" __attribute__((visibility("default"))) int KelvoWritePdfPage(
    const TPdfPageRequest* request) noexcept {
    // Nothing may leave the module but the result: the tool holds its own copy of the error type.
    try {
        try {
            WritePdfPage(*request->FileName, *request->Image,
                         QPageSize(request->Letter ? QPageSize::Letter : QPageSize::A4));
            return kPdfPageWritten;
        } catch (const KelvoError& error) {
            *request->Error = error.Message();
        } catch (const std::bad_alloc&) {
            return kPdfPageOutOfMemory;
        } catch (const std::exception& error) {
            *request->Error = QString::fromLocal8Bit(error.what());
        }
    } catch (...) {
        return kPdfPageOutOfMemory;  // only the copy of a message can fail here
    }
    return kPdfPageFailed;
}
