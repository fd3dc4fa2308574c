#pragma once
// The printed page of --print-pdf lives in a module the tool loads for that option alone
// (kelvoimage-cli-pdf.so): drawing the page needs QtGui, and every other run would otherwise load
// QtGui and the window-system, font and D-Bus libraries behind it for nothing.

#include <QString>

#include "image/Bitmap32.h"

// What the tool hands the module. The module is built from the same sources as the tool, so the
// raster and the strings cross as they are.
struct TPdfPageRequest {
    const QString* FileName = nullptr;
    const TBitmap32* Image = nullptr;
    bool Letter = false;       // the paper: Letter, else A4
    QString* Error = nullptr;  // the message when the entry returns kPdfPageFailed
};

inline constexpr int kPdfPageWritten = 0;
inline constexpr int kPdfPageFailed = 1;
inline constexpr int kPdfPageOutOfMemory = 2;

// The module's one entry: writes the page (WritePdfPage) and never throws.
using TWritePdfPageEntry = int (*)(const TPdfPageRequest* request);
inline constexpr char kPdfPageEntryName[] = "KelvoWritePdfPage";
inline constexpr char kPdfPageModuleFile[] = "kelvoimage-cli-pdf.so";

// In the tool: loads the module (beside the program, or in ../lib/kelvoimage/ from it) and
// writes the page through it. Throws KelvoError as WritePdfPage does, and when the module is
// missing.
void WritePdfPageThroughModule(const QString& fileName, const TBitmap32& image, bool letter);
