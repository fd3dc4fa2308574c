#include "image/TiffReader.h"

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/DecoderSupport.h"
#include "image/ImageLoader.h"

namespace {

struct TTiffFile {
    TIFF* handle = nullptr;
    ~TTiffFile() {
        if (handle) TIFFClose(handle);
    }
};

[[noreturn]] void ThrowBufferError() {
    throw KelvoError(QStringLiteral("Unable to create TBitmap buffer"));
}

}  // namespace

void SwapRedBlue(int width, int height, TColor32* first) {
    if (width <= 0 || height <= 0) return;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 p = first[i];
        first[i] = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
    }
}

TBitmap32 ReadTiffFile(const QString& fileName) {
    // libtiff's own reports would reach stderr; the user sees only this reader's messages.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);

    // The descriptor is opened here rather than by libtiff so that a FIFO or device is refused
    // without blocking; libtiff closes it with the file.
    TTiffFile tiff;
    std::int64_t fileSize = 0;
    if (const int descriptor = OpenRegularFileForReading(fileName); descriptor >= 0) {
        struct stat status {};
        if (::fstat(descriptor, &status) == 0) fileSize = std::int64_t(status.st_size);
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options)
            TIFFOpenOptionsSetMaxSingleMemAlloc(
                options, tmsize_t(std::min<std::int64_t>(kTiffMaxSingleAllocation,
                                                         DecodeMemoryBound(fileSize))));
        tiff.handle =
            TIFFFdOpenExt(descriptor, QFile::encodeName(fileName).constData(), "r", options);
        TIFFOpenOptionsFree(options);
        if (!tiff.handle) ::close(descriptor);
    }
    if (!tiff.handle) throw KelvoError(QStringLiteral("Unable to open file '%1'").arg(fileName));

    uint32_t width = 0, height = 0;
    TIFFGetField(tiff.handle, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.handle, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) ThrowBufferError();

    TBitmap32 bitmap;
    try {
        CheckDeclaredSize(width, height, fileSize);
        bitmap.SetSize(int(width), int(height));
    } catch (const KelvoError&) {
        ThrowBufferError();
    }

    // A layout the RGBA reader cannot handle at all would otherwise come out as an all-black
    // picture reported as a success.
    char reason[1024] = {};
    if (!TIFFRGBAImageOK(tiff.handle, reason))
        throw KelvoError(QStringLiteral("Unable to read file '%1': %2")
                             .arg(fileName, QString::fromLocal8Bit(reason)));
    // Pixels the reader cannot decode (a damaged strip) stay black: stop-on-error is off, so a
    // partly readable file still shows what it holds. The raster is top row first, so the
    // reader is asked for that orientation; it honours the file's own orientation tag.
    if (!TIFFReadRGBAImageOriented(tiff.handle, width, height, bitmap.Bits(), ORIENTATION_TOPLEFT,
                                   0))
        throw KelvoError(QStringLiteral("Unable to read file '%1'").arg(fileName));
    SwapRedBlue(bitmap.Width(), bitmap.Height(), bitmap.Bits());
    return bitmap;
}
