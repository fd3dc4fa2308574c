#include "image/BmpEncoder.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

static_assert(std::endian::native == std::endian::little,
              "the raster is written to disk in its memory byte order");

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr std::uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;

void PutU16(unsigned char*& p, std::uint32_t value) {
    *p++ = static_cast<unsigned char>(value);
    *p++ = static_cast<unsigned char>(value >> 8);
}

void PutU32(unsigned char*& p, std::uint32_t value) {
    PutU16(p, value & 0xFFFF);
    PutU16(p, value >> 16);
}

}  // namespace

void EncodeBmp(TAtomicFile& file, const TBitmap32& image) {
    const std::uint64_t pixelBytes = image.ByteCount();
    if (pixelBytes + kPixelOffset > 0xFFFFFFFFull)
        throw KelvoError(QStringLiteral("The image is too large for BMP (at most 4 GB)"));
    const auto width = std::uint32_t(image.Width());
    const auto height = std::uint32_t(image.Height());

    unsigned char header[kPixelOffset];
    unsigned char* p = header;
    *p++ = 'B';
    *p++ = 'M';
    PutU32(p, std::uint32_t(kPixelOffset + pixelBytes));  // file size
    PutU32(p, 0);                                         // reserved
    PutU32(p, kPixelOffset);
    PutU32(p, kInfoHeaderSize);
    PutU32(p, width);
    PutU32(p, height);  // positive: bottom-up rows
    PutU16(p, 1);       // planes
    PutU16(p, 32);      // bits per pixel
    PutU32(p, 0);       // BI_RGB
    PutU32(p, std::uint32_t(pixelBytes));
    PutU32(p, 2835);  // 72 dpi
    PutU32(p, 2835);
    PutU32(p, 0);  // colours used
    PutU32(p, 0);  // important colours

    std::FILE* stream = file.Stream();
    if (std::fwrite(header, 1, sizeof header, stream) != sizeof header)
        file.Fail(errno ? errno : EIO);
    // 32-bit rows need no padding, and the raster's memory order is already B,G,R,A.
    const std::size_t rowBytes = std::size_t(width) * sizeof(TColor32);
    for (int y = image.Height() - 1; y >= 0; --y)
        if (std::fwrite(image.ScanLine(y), 1, rowBytes, stream) != rowBytes)
            file.Fail(errno ? errno : EIO);
}
