#pragma once
// The libraries few runs need live in modules that kelvoimage-cli loads the first time a run needs
// them: libtiff (kelvoimage-cli-tiff.so), libheif with its video decoders (kelvoimage-cli-heif.so),
// LibRaw (kelvoimage-cli-raw.so) and Exiv2, the tags of a photo (kelvoimage-cli-tags.so). Linked
// into the tool they would be loaded and relocated on every start, --version and a PNG's turn
// included, and cost more than the rest of the program. The window and the tests link the same
// code directly.
//
// Each module is the core's own code for its part (image/TiffReader.cpp, image/HeifDecoder.cpp,
// image/RawDecoder.cpp, image/PhotoMetadataTags.cpp and info/PropertyReport.cpp) with one table of
// entries in front of it; the tool defines the functions those files define (cli/LibraryModules.cpp)
// as calls through the table, so the rest of the core calls them unchanged and there is one
// decoder of each kind. The module is built from the same sources as the tool, so the raster,
// strings and vectors cross as they are; an error comes back as its message, since the module holds
// its own copy of the error type.

#include <QString>
#include <vector>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"
#include "info/PropertyReport.h"

// What an entry hands back besides its result.
struct TModuleOutcome {
    QString Error;                      // the message when the entry returns kModuleFailed
    std::vector<QString> JpegWarnings;  // libjpeg's warnings met by the module's decodes
};

inline constexpr int kModuleDone = 0;
inline constexpr int kModuleFailed = 1;       // a KelvoError, its message in Error
inline constexpr int kModuleOutOfMemory = 2;
inline constexpr int kModuleFailedOther = 3;  // another std::exception, its what() in Error

// kelvoimage-cli-tiff.so: ReadTiffFile.
struct TTiffModule {
    int (*ReadTiffFile)(TModuleOutcome& outcome, const QString& fileName, TBitmap32& image);
};

// kelvoimage-cli-heif.so: DecodeHeifFile.
struct THeifModule {
    int (*DecodeHeifFile)(TModuleOutcome& outcome, const QString& fileName, TBitmap32& image,
                          std::vector<TJpegMarker>* markers);
};

// kelvoimage-cli-raw.so: DecodeRawPreview (its EXIF read by the module's own link to Exiv2).
struct TRawModule {
    int (*DecodeRawPreview)(TModuleOutcome& outcome, const QString& fileName, TBitmap32& image,
                            std::vector<TJpegMarker>* markers, int& orientation);
};

// kelvoimage-cli-tags.so: what reads and writes tags through Exiv2.
struct TTagModule {
    int (*Orientation)(TModuleOutcome& outcome, const TPhotoMetadata& metadata, int& orientation);
    int (*MarkersForSave)(TModuleOutcome& outcome, const TPhotoMetadata& metadata, int width,
                          int height, bool reoriented, bool* exifLeftOut,
                          std::vector<TJpegMarker>& markers);
    int (*ReadPropertyReport)(TModuleOutcome& outcome, const QString& fileName, QString& report);
    int (*ReadTagListing)(TModuleOutcome& outcome, const QString& fileName, TTagListing& listing);
    int (*PrepareTagReaderForThreads)(TModuleOutcome& outcome);
};

// Each module exports one function of this name, returning its table.
inline constexpr char kLibraryModuleEntryName[] = "KelvoLibraryModule";
using TLibraryModuleEntry = const void* (*)();
