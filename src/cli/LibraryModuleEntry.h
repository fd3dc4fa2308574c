#pragma once
// The modules' side of cli/LibraryModules.h: each entry runs its work through RunModuleEntry.

#include <exception>
#include <new>

#include "base/KelvoError.h"
#include "cli/LibraryModules.h"
#include "image/JpegDecoder.h"

// Runs one entry's work; nothing leaves the module but the result and the outcome. libjpeg's
// warnings met meanwhile (a RAW's JPEG preview) go back for the tool to report as its own.
template <class Work>
int RunModuleEntry(TModuleOutcome& outcome, Work work) noexcept {
    int result = kModuleFailed;
    try {
        const TJpegWarnings warnings;
        try {
            work();
            result = kModuleDone;
        } catch (const KelvoError& error) {
            outcome.Error = error.Message();
        } catch (const std::bad_alloc&) {
            result = kModuleOutOfMemory;
        } catch (const std::exception& error) {
            outcome.Error = QString::fromLocal8Bit(error.what());
            result = kModuleFailedOther;
        }
        outcome.JpegWarnings = warnings.Texts();
    } catch (...) {
        return kModuleOutOfMemory;  // only the copies of texts can fail here
    }
    return result;
}
