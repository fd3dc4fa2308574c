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

// The most bytes one byte of strip data can expand to under the codecs whose expansion is
// bounded: deflate stops near 1032 : 1, an LZW code of at most 12 bits stands for at most 4096
// bytes, a PackBits run of two bytes for 128. Uncompressed data is allowed 64 times its bytes,
// so that a cut-off file still shows its first rows. 0: unbounded or unknown (JPEG, fax,
// LZMA, ZSTD...), where only the raster's own rule applies.
std::uint64_t MaxExpansion(std::uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 64;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_LZW:
            return 4096;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return 1032;
        default:
            return 0;
    }
}

// A file whose strips or tiles cannot expand to the picture it declares is a decompression
// bomb or mostly missing: refused before the raster takes memory for it.
void CheckDataCoversPicture(TIFF* tiff, std::uint32_t width, std::uint32_t height,
                            std::int64_t fileSize) {
    if (std::int64_t(width) * height * 4 <= kAlwaysDecodedRasterBytes) return;
    std::uint16_t compression = COMPRESSION_NONE, bitsPerSample = 1, samplesPerPixel = 1,
                  planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    const std::uint64_t expansion = MaxExpansion(compression);
    if (expansion == 0) return;
    const bool separate = planar == PLANARCONFIG_SEPARATE;
    const std::uint64_t rowBits = std::uint64_t(width) * std::max<std::uint16_t>(bitsPerSample, 1) *
                                  (separate ? 1 : std::max<std::uint16_t>(samplesPerPixel, 1));
    const std::uint64_t declared =
        (rowBits + 7) / 8 * height * (separate ? std::max<std::uint16_t>(samplesPerPixel, 1) : 1);
    // Only bytes inside the file count, and counting stops once they are enough.
    const std::uint64_t size = std::uint64_t(std::max<std::int64_t>(fileSize, 0));
    const std::uint32_t pieces =
        TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    std::uint64_t present = 0;
    for (std::uint32_t i = 0; i < pieces && present * expansion < declared; ++i) {
        const std::uint64_t offset = TIFFGetStrileOffset(tiff, i);
        if (offset >= size) continue;
        present += std::min<std::uint64_t>(TIFFGetStrileByteCount(tiff, i), size - offset);
    }
    if (present * expansion < declared) ThrowBufferError();
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
    // Data in a scheme this libtiff cannot decode would come out as a black picture reported
    // as a success, after taking the memory for it.
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff.handle, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression))
        throw KelvoError(QStringLiteral("Unable to read file '%1': compression scheme %2 is not "
                                        "supported")
                             .arg(fileName)
                             .arg(compression));

    TBitmap32 bitmap;
    try {
        CheckDeclaredSize(width, height, fileSize);
        CheckDataCoversPicture(tiff.handle, width, height, fileSize);
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
