#include "image/ImageFileTypes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QStringList>

#include "base/WholeFile.h"

namespace {

struct TEnding {
    const char* Ending;
    TImageFileType Type;
};

// Tested in this order, first match wins. The written five keep their places; a name with none
// of these endings goes to the JPEG decoder.
constexpr TEnding kEndings[] = {
    {".gif", TImageFileType::Gif},   {".bmp", TImageFileType::Bmp},
    {".png", TImageFileType::Png},   {".tif", TImageFileType::Tiff},
    {".tiff", TImageFileType::Tiff}, {".jpg", TImageFileType::Jpeg},
    {".jpeg", TImageFileType::Jpeg}, {".jpe", TImageFileType::Jpeg},
    {".heic", TImageFileType::Heif}, {".heif", TImageFileType::Heif},
    {".hif", TImageFileType::Heif},  {".avif", TImageFileType::Heif},
    {".webp", TImageFileType::Webp},
    // Camera RAW files: Canon, Nikon, Sony, Adobe DNG, Olympus, Panasonic, Fujifilm, Pentax,
    // Samsung.
    {".cr2", TImageFileType::Raw},   {".cr3", TImageFileType::Raw},
    {".nef", TImageFileType::Raw},   {".nrw", TImageFileType::Raw},
    {".arw", TImageFileType::Raw},   {".sr2", TImageFileType::Raw},
    {".dng", TImageFileType::Raw},   {".orf", TImageFileType::Raw},
    {".rw2", TImageFileType::Raw},   {".raf", TImageFileType::Raw},
    {".pef", TImageFileType::Raw},   {".srw", TImageFileType::Raw},
};

bool StartsWith(const std::uint8_t* head, std::size_t size, const char* signature,
                std::size_t length) {
    return size >= length && std::memcmp(head, signature, length) == 0;
}

std::uint32_t Le32(const std::uint8_t* b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::uint32_t Be32(const std::uint8_t* b) {
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
           std::uint32_t(b[3]);
}

// An ISO base media file (HEIF, AVIF, CR3) names its kind in the brands of its first box.
std::optional<TImageFileType> BrandType(const std::uint8_t* brand) {
    static const char* const kHeifBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                              "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
    for (const char* heif : kHeifBrands)
        if (std::memcmp(brand, heif, 4) == 0) return TImageFileType::Heif;
    if (std::memcmp(brand, "crx ", 4) == 0) return TImageFileType::Raw;
    return std::nullopt;
}

std::optional<TImageFileType> IsoMediaType(const std::uint8_t* head, std::size_t size) {
    if (size < 12 || std::memcmp(head + 4, "ftyp", 4) != 0) return std::nullopt;
    // The major brand first; then the compatible brands that the first bytes hold.
    if (auto type = BrandType(head + 8)) return type;
    const std::size_t boxEnd = std::min<std::size_t>(Be32(head), size);
    for (std::size_t at = 16; at + 4 <= boxEnd; at += 4)
        if (auto type = BrandType(head + at)) return type;
    return std::nullopt;
}

}  // namespace

std::optional<TImageFileType> ImageFileTypeOfEnding(const QString& fileName) {
    for (const TEnding& e : kEndings)
        if (fileName.endsWith(QLatin1String(e.Ending), Qt::CaseInsensitive)) return e.Type;
    return std::nullopt;
}

TImageFileType ImageFileTypeOf(const QString& fileName) {
    return ImageFileTypeOfEnding(fileName).value_or(TImageFileType::Jpeg);
}

QString ImageFilePatterns(TImageFileType type) {
    QStringList patterns;
    for (const TEnding& e : kEndings)
        if (e.Type == type) patterns.append(QLatin1Char('*') + QString::fromLatin1(e.Ending).toUpper());
    return patterns.join(QLatin1Char(';'));
}

bool HasRawEnding(const QString& fileName) {
    return ImageFileTypeOfEnding(fileName) == TImageFileType::Raw;
}

std::optional<TImageFileType> ImageFileTypeOfContent(const std::uint8_t* head, std::size_t size) {
    using T = TImageFileType;
    if (StartsWith(head, size, "\xFF\xD8\xFF", 3)) return T::Jpeg;
    if (StartsWith(head, size, "\x89PNG\r\n\x1A\n", 8)) return T::Png;
    if (StartsWith(head, size, "GIF87a", 6) || StartsWith(head, size, "GIF89a", 6)) return T::Gif;
    // "BM" alone is too common a start; the size of the header that follows must be one of the
    // bitmap headers' sizes as well.
    if (StartsWith(head, size, "BM", 2) && size >= 18) {
        const std::uint32_t header = Le32(head + 14);
        if (header == 12 || header == 40 || header == 52 || header == 56 || header == 64 ||
            header == 108 || header == 124)
            return T::Bmp;
    }
    // Olympus and Panasonic RAW files are TIFF structures with signatures of their own.
    if (StartsWith(head, size, "IIRO", 4) || StartsWith(head, size, "IIRS", 4) ||
        StartsWith(head, size, "MMOR", 4) || StartsWith(head, size, "IIU\0", 4))
        return T::Raw;
    if (StartsWith(head, size, "II*\0", 4) || StartsWith(head, size, "MM\0*", 4) ||
        StartsWith(head, size, "II+\0", 4) || StartsWith(head, size, "MM\0+", 4))
        return T::Tiff;
    if (StartsWith(head, size, "FUJIFILMCCD-RAW", 15)) return T::Raw;
    if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0)
        return T::Webp;
    return IsoMediaType(head, size);
}

TImageFileType ImageDecoderOf(const QString& fileName) {
    const TImageFileType byName = ImageFileTypeOf(fileName);
    const int descriptor = OpenRegularFileForReading(fileName);
    if (descriptor < 0) return byName;
    std::uint8_t head[kImageSignatureBytes];
    std::size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::read(descriptor, head + got, sizeof head - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    ::close(descriptor);
    const std::optional<TImageFileType> byContent = ImageFileTypeOfContent(head, got);
    if (!byContent) return byName;
    // Most camera files are TIFF structures; their ending says they are RAW.
    if (*byContent == TImageFileType::Tiff && byName == TImageFileType::Raw) return byName;
    return *byContent;
}
