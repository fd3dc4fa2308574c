#include "image/BmpDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "base/KelvoError.h"
#include "image/DecoderSupport.h"

namespace {

constexpr std::uint32_t kBiRgb = 0, kBiBitFields = 3, kBiAlphaBitFields = 6;

[[noreturn]] void ThrowBmpError(const char* text) {
    throw KelvoError(QString::fromLatin1(text));
}

std::uint32_t U16(const QByteArray& data, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + at;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

std::uint32_t U32(const QByteArray& data, qsizetype at) {
    return U16(data, at) | U16(data, at + 2) << 16;
}

struct TBmpHeader {
    std::uint32_t dataOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, always positive
    bool topDown = false;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
};

TBmpHeader ParseHeader(const QByteArray& data) {
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M') ThrowBmpError("Not a BMP file");
    TBmpHeader header;
    header.dataOffset = U32(data, 10);
    header.headerSize = U32(data, 14);
    if (header.headerSize == 12) {  // OS/2 1.x: 16-bit unsigned sizes, never compressed
        header.width = U16(data, 18);
        header.height = U16(data, 20);
        header.bitCount = U16(data, 24);
    } else if (header.headerSize >= 16 && header.headerSize <= 124 &&
               data.size() >= 14 + qsizetype(header.headerSize)) {
        header.width = std::int32_t(U32(data, 18));
        const auto height = std::int32_t(U32(data, 22));
        header.topDown = height < 0;
        header.height = header.topDown ? -std::int64_t(height) : std::int64_t(height);
        header.bitCount = U16(data, 28);
        if (header.headerSize >= 20) header.compression = U32(data, 30);
    } else {
        ThrowBmpError("Unsupported BMP header");
    }
    if (header.width <= 0 || header.height <= 0) ThrowBmpError("Invalid BMP picture size");
    return header;
}

struct TChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t maximum = 0;

    explicit TChannel(std::uint32_t bits) : mask(bits) {
        if (!mask) return;
        shift = std::countr_zero(mask);
        maximum = mask >> shift;
    }
    // Scales the field to 0..255 whatever its width; a mask with holes still stays in range.
    std::uint32_t Of(std::uint32_t pixel) const {
        if (!mask) return 0;
        const std::uint64_t value = (pixel & mask) >> shift;
        return std::uint32_t((value * 255 + maximum / 2) / maximum);
    }
};

// The trivial uncompressed 32-bit rows: read here so that the alpha byte survives unchanged.
void Decode32BitRows(const QByteArray& data, const TBmpHeader& header, TBitmap32& image) {
    std::uint32_t red = 0x00FF0000u, green = 0x0000FF00u, blue = 0x000000FFu;
    std::uint32_t alpha = 0xFF000000u;
    if (header.compression != kBiRgb) {
        // The masks follow the 40-byte header, or sit inside a larger one at the same place.
        const qsizetype masks = 14 + 40;
        const bool hasAlpha = header.compression == kBiAlphaBitFields || header.headerSize >= 56;
        if (data.size() < masks + (hasAlpha ? 16 : 12)) ThrowBmpError("BMP file is truncated");
        red = U32(data, masks);
        green = U32(data, masks + 4);
        blue = U32(data, masks + 8);
        alpha = hasAlpha ? U32(data, masks + 12) : 0;
    }
    const std::int64_t rowBytes = header.width * 4;
    if (std::int64_t(header.dataOffset) + rowBytes * header.height > data.size())
        ThrowBmpError("BMP file is truncated");

    image.SetSize(int(header.width), int(header.height));
    const bool plain = red == 0x00FF0000u && green == 0x0000FF00u && blue == 0x000000FFu &&
                       (alpha == 0xFF000000u || alpha == 0);
    const TChannel r(red), g(green), b(blue), a(alpha);
    const int width = image.Width(), height = image.Height();
    for (int row = 0; row < height; ++row) {
        const auto* in = reinterpret_cast<const unsigned char*>(data.constData()) +
                         header.dataOffset + std::int64_t(row) * rowBytes;
        TColor32* out = image.ScanLine(header.topDown ? row : height - 1 - row);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = std::uint32_t(in[4 * x]) | std::uint32_t(in[4 * x + 1]) << 8 |
                                    std::uint32_t(in[4 * x + 2]) << 16 |
                                    std::uint32_t(in[4 * x + 3]) << 24;
            if (plain)
                out[x] = alpha ? v : (v | 0xFF000000u);
            else  // a file without an alpha field stores no alpha: it is opaque
                out[x] = (alpha ? a.Of(v) : 0xFFu) << 24 | r.Of(v) << 16 | g.Of(v) << 8 | b.Of(v);
        }
    }
}

QByteArray ReadWholeFile(const QString& fileName) {
    TImageInputFile file(fileName);
    QByteArray data;
    if (file.Size() > 0) {
        data.resize(qsizetype(file.Size()));
        data.resize(qsizetype(std::fread(data.data(), 1, std::size_t(data.size()), file.Handle())));
    }
    return data;
}

}  // namespace

void DecodeBmpFile(const QString& fileName, TBitmap32& image) {
    QByteArray data = ReadWholeFile(fileName);
    const TBmpHeader header = ParseHeader(data);
    CheckDeclaredSize(header.width, header.height);

    if (header.bitCount == 32 &&
        (header.compression == kBiRgb || header.compression == kBiBitFields ||
         header.compression == kBiAlphaBitFields)) {
        Decode32BitRows(data, header, image);
        return;
    }

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    // Qt's own default limit would refuse an ordinary 24-megapixel photograph; the declared size
    // has already been held against the raster's limit above.
    const int previousLimit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(int((TBitmap32::MaxPixels() * 4 >> 20) + 1));
    QImage picture;
    const bool read = reader.read(&picture);
    QImageReader::setAllocationLimit(previousLimit);
    if (!read || picture.isNull()) {
        const QString reason = reader.errorString();
        throw KelvoError(reason.isEmpty() ? QStringLiteral("Unable to read the BMP file") : reason);
    }
    image.Assign(picture, TPictureKind::Drawn);
}
