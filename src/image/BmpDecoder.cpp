#include "image/BmpDecoder.h"

#include <QByteArray>
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "base/KelvoError.h"
#include "image/DecoderSupport.h"

namespace {

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3,
                        kBiAlphaBitFields = 6;
constexpr TColor32 kOpaque = 0xFF000000u;

[[noreturn]] void ThrowBmpError(const char* text) {
    throw KelvoError(QString::fromLatin1(text));
}

[[noreturn]] void ThrowTruncated() {
    ThrowBmpError("BMP file is truncated");
}

const unsigned char* BytesOf(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

std::uint32_t U16(const QByteArray& data, qsizetype at) {
    const unsigned char* p = BytesOf(data) + at;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

std::uint32_t U32(const QByteArray& data, qsizetype at) {
    return U16(data, at) | U16(data, at + 2) << 16;
}

struct TBmpHeader {
    std::int64_t dataOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, always positive
    bool topDown = false;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;

    bool HasMasks() const {
        return compression == kBiBitFields || compression == kBiAlphaBitFields;
    }
    // Bit-field masks follow a 40-byte header, or sit inside a larger one at the same place.
    static constexpr qsizetype kMasksAt = 14 + 40;
    qsizetype PaletteAt() const {
        qsizetype at = 14 + qsizetype(headerSize);
        if (headerSize == 40 && HasMasks()) at += compression == kBiAlphaBitFields ? 16 : 12;
        return at;
    }
    int PaletteEntryBytes() const { return headerSize == 12 ? 3 : 4; }
    // Bytes of one stored row, padded to a multiple of four.
    std::int64_t RowStride() const { return (width * bitCount + 31) / 32 * 4; }
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
        if (header.headerSize >= 36) header.colorsUsed = U32(data, 46);
    } else {
        ThrowBmpError("Unsupported BMP header");
    }
    if (header.width <= 0 || header.height <= 0) ThrowBmpError("Invalid BMP picture size");
    return header;
}

// One colour field of a 16- or 32-bit pixel, widened to eight bits by repeating its bits from
// the top (a full 5-bit field gives 255, not 248); a field wider than eight keeps its top bits.
class TChannel {
  public:
    explicit TChannel(std::uint32_t mask) : FMask(mask) {
        if (!mask) return;
        FShift = std::countr_zero(mask);
        FBits = std::bit_width(mask >> FShift);
        if (FBits > 8) return;
        for (std::uint32_t value = 0; value < (1u << FBits); ++value) {
            std::uint32_t wide = 0;
            for (int at = 8 - FBits; at > -FBits; at -= FBits)
                wide |= at >= 0 ? value << at : value >> -at;
            FNarrow[value] = std::uint8_t(wide);
        }
    }
    std::uint32_t Of(std::uint32_t pixel) const {
        if (!FMask) return 0;
        const std::uint32_t value = (pixel & FMask) >> FShift;
        return FBits > 8 ? value >> (FBits - 8) : FNarrow[value];
    }

  private:
    std::uint32_t FMask = 0;
    int FShift = 0;
    int FBits = 0;
    std::array<std::uint8_t, 256> FNarrow{};
};

struct TMasks {
    std::uint32_t red, green, blue, alpha;
};

TMasks ReadMasks(const QByteArray& data, const TBmpHeader& header, TMasks defaults) {
    if (!header.HasMasks()) return defaults;
    const bool hasAlpha = header.compression == kBiAlphaBitFields || header.headerSize >= 56;
    const qsizetype at = TBmpHeader::kMasksAt;
    if (data.size() < at + (hasAlpha ? 16 : 12)) ThrowTruncated();
    return {U32(data, at), U32(data, at + 4), U32(data, at + 8), hasAlpha ? U32(data, at + 12) : 0};
}

// Every stored row must be present; only the last row's padding may be missing.
void RequireRows(const QByteArray& data, const TBmpHeader& header) {
    const std::int64_t lastRowBytes = (header.width * header.bitCount + 7) / 8;
    if (header.dataOffset + header.RowStride() * (header.height - 1) + lastRowBytes > data.size())
        ThrowTruncated();
}

// The picture row that stored row number `stored` holds.
TColor32* PictureRow(TBitmap32& image, const TBmpHeader& header, std::int64_t stored) {
    return image.ScanLine(int(header.topDown ? stored : header.height - 1 - stored));
}

// The trivial uncompressed 32-bit rows keep the alpha byte exactly as stored.
void Decode32BitRows(const QByteArray& data, const TBmpHeader& header, TBitmap32& image) {
    const TMasks masks = ReadMasks(data, header, {0x00FF0000u, 0x0000FF00u, 0x000000FFu, kOpaque});
    RequireRows(data, header);
    image.SetSize(int(header.width), int(header.height));
    const bool plain = masks.red == 0x00FF0000u && masks.green == 0x0000FF00u &&
                       masks.blue == 0x000000FFu && (masks.alpha == kOpaque || masks.alpha == 0);
    const TChannel r(masks.red), g(masks.green), b(masks.blue), a(masks.alpha);
    const int width = image.Width();
    for (std::int64_t row = 0; row < header.height; ++row) {
        const unsigned char* in = BytesOf(data) + header.dataOffset + row * header.RowStride();
        TColor32* out = PictureRow(image, header, row);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = std::uint32_t(in[4 * x]) | std::uint32_t(in[4 * x + 1]) << 8 |
                                    std::uint32_t(in[4 * x + 2]) << 16 |
                                    std::uint32_t(in[4 * x + 3]) << 24;
            if (plain)
                out[x] = masks.alpha ? v : (v | kOpaque);
            else  // a file without an alpha field stores no alpha: it is opaque
                out[x] =
                    (masks.alpha ? a.Of(v) : 0xFFu) << 24 | r.Of(v) << 16 | g.Of(v) << 8 | b.Of(v);
        }
    }
}

// 16-bit rows: 5-5-5 unless bit fields say otherwise. An alpha field is not honoured below 32
// bits: such files are drawn opaque, as every other depth is.
void Decode16BitRows(const QByteArray& data, const TBmpHeader& header, TBitmap32& image) {
    const TMasks masks = ReadMasks(data, header, {0x7C00u, 0x03E0u, 0x001Fu, 0});
    RequireRows(data, header);
    image.SetSize(int(header.width), int(header.height));
    const TChannel r(masks.red), g(masks.green), b(masks.blue);
    const int width = image.Width();
    for (std::int64_t row = 0; row < header.height; ++row) {
        const unsigned char* in = BytesOf(data) + header.dataOffset + row * header.RowStride();
        TColor32* out = PictureRow(image, header, row);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = std::uint32_t(in[2 * x]) | std::uint32_t(in[2 * x + 1]) << 8;
            out[x] = kOpaque | r.Of(v) << 16 | g.Of(v) << 8 | b.Of(v);
        }
    }
}

void Decode24BitRows(const QByteArray& data, const TBmpHeader& header, TBitmap32& image) {
    RequireRows(data, header);
    image.SetSize(int(header.width), int(header.height));
    const int width = image.Width();
    for (std::int64_t row = 0; row < header.height; ++row) {
        const unsigned char* in = BytesOf(data) + header.dataOffset + row * header.RowStride();
        TColor32* out = PictureRow(image, header, row);
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = kOpaque | TColor32(in[2]) << 16 | TColor32(in[1]) << 8 | in[0];
    }
}

// The colour table, opaque; indices past the stored entries (or past the end of the file)
// show black.
std::array<TColor32, 256> ReadPalette(const QByteArray& data, const TBmpHeader& header) {
    std::array<TColor32, 256> palette;
    palette.fill(kOpaque);
    const std::uint32_t most = 1u << header.bitCount;
    const std::uint32_t count =
        header.colorsUsed > 0 && header.colorsUsed < most ? header.colorsUsed : most;
    const int entryBytes = header.PaletteEntryBytes();
    for (std::uint32_t i = 0; i < count; ++i) {
        const qsizetype at = header.PaletteAt() + qsizetype(i) * entryBytes;
        if (at + 3 > data.size()) break;
        const unsigned char* p = BytesOf(data) + at;
        palette[i] = kOpaque | TColor32(p[2]) << 16 | TColor32(p[1]) << 8 | p[0];
    }
    return palette;
}

// 1-, 2-, 4- and 8-bit rows, the leftmost pixel in the high bits of each byte.
void DecodeIndexedRows(const QByteArray& data, const TBmpHeader& header, TBitmap32& image) {
    const std::array<TColor32, 256> palette = ReadPalette(data, header);
    RequireRows(data, header);
    image.SetSize(int(header.width), int(header.height));
    const int bits = int(header.bitCount);
    const int perByte = 8 / bits;
    const unsigned indexMask = (1u << bits) - 1;
    const int width = image.Width();
    for (std::int64_t row = 0; row < header.height; ++row) {
        const unsigned char* in = BytesOf(data) + header.dataOffset + row * header.RowStride();
        TColor32* out = PictureRow(image, header, row);
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            out[x] = palette[(in[x / perByte] >> shift) & indexMask];
        }
    }
}

// RLE8 and RLE4 streams. Pixels the stream skips (with a delta, an early end of line or an
// early end of the bitmap) stay black with alpha 0; runs past the right edge are cut off. A
// stream that runs out before its end-of-bitmap marker, with rows still to come, is truncated.
void DecodeRleRows(const QByteArray& data, const TBmpHeader& header, TBitmap32& image) {
    if (header.topDown) ThrowBmpError("Compressed BMP files cannot be stored top-down");
    const bool nibbles = header.compression == kBiRle4;
    const std::array<TColor32, 256> palette = ReadPalette(data, header);
    image.AssignEmpty();  // a fresh store is all zero, which the skipped pixels keep
    image.SetSize(int(header.width), int(header.height));

    const unsigned char* bytes = BytesOf(data);
    const std::int64_t size = data.size(), width = header.width, height = header.height;
    std::int64_t at = header.dataOffset, x = 0, y = 0;  // y counts stored rows, bottom first
    const auto indexOf = [&](unsigned value, std::int64_t i) {
        return nibbles ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value;
    };
    const auto put = [&](std::int64_t count, const auto& indexAt) {
        if (y < height) {
            TColor32* row = PictureRow(image, header, y);
            for (std::int64_t i = 0; i < count && x + i < width; ++i)
                row[x + i] = palette[indexAt(i)];
        }
        x += count;
    };
    for (;;) {
        if (y >= height) return;
        if (at + 2 > size) {
            if (y == height - 1 && x >= width) return;  // the last row is whole
            ThrowTruncated();
        }
        const unsigned count = bytes[at], value = bytes[at + 1];
        at += 2;
        if (count > 0) {
            put(count, [&](std::int64_t i) { return indexOf(value, i); });
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta: move right and up
            if (at + 2 > size) ThrowTruncated();
            x += bytes[at];
            y += bytes[at + 1];
            at += 2;
        } else {  // absolute run of `value` literal pixels, padded to a 16-bit boundary
            const std::int64_t stored = nibbles ? (value + 1) / 2 : value;
            if (at + stored > size) ThrowTruncated();
            const unsigned char* literal = bytes + at;
            put(value, [&](std::int64_t i) {
                return nibbles ? indexOf(literal[i / 2], i) : unsigned(literal[i]);
            });
            at += (stored + 1) / 2 * 2;
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
    const QByteArray data = ReadWholeFile(fileName);
    TBmpHeader header = ParseHeader(data);
    CheckDeclaredSize(header.width, header.height, data.size());
    if (header.dataOffset == 0)  // some writers leave it out: the pixels follow the colour table
        header.dataOffset = header.PaletteAt() +
                            (header.bitCount <= 8
                                 ? (std::int64_t(1) << header.bitCount) * header.PaletteEntryBytes()
                                 : 0);

    const std::uint32_t bits = header.bitCount;
    switch (header.compression) {
        case kBiRgb:
            if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
                return DecodeIndexedRows(data, header, image);
            if (bits == 16) return Decode16BitRows(data, header, image);
            if (bits == 24) return Decode24BitRows(data, header, image);
            if (bits == 32) return Decode32BitRows(data, header, image);
            ThrowBmpError("Unsupported BMP bit depth");
        case kBiBitFields:
        case kBiAlphaBitFields:
            if (bits == 16) return Decode16BitRows(data, header, image);
            if (bits == 32) return Decode32BitRows(data, header, image);
            // (OS/2 headers use this code for Huffman-coded 1-bit files.)
            ThrowBmpError("Unsupported BMP compression");
        case kBiRle8:
            if (bits == 8) return DecodeRleRows(data, header, image);
            ThrowBmpError("Unsupported BMP bit depth");
        case kBiRle4:
            if (bits == 4) return DecodeRleRows(data, header, image);
            ThrowBmpError("Unsupported BMP bit depth");
        default:
            ThrowBmpError("Unsupported BMP compression");
    }
}
