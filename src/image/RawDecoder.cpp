#include "image/RawDecoder.h"

#include <libraw/libraw.h>

#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <memory>
#include <mutex>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/DecoderSupport.h"
#include "image/JpegDecoder.h"

namespace {

[[noreturn]] void Fail(const QString& fileName, const QString& reason) {
    throw KelvoError(QStringLiteral("RAW error in file \"%1\": %2").arg(fileName, reason));
}

void Check(const QString& fileName, int code) {
    if (code == LIBRAW_SUCCESS) return;
    if (code == LIBRAW_UNSUFFICIENT_MEMORY)
        throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    if (code == LIBRAW_NO_THUMBNAIL || code == LIBRAW_UNSUPPORTED_THUMBNAIL)
        Fail(fileName, QStringLiteral("the file holds no preview picture"));
    Fail(fileName, QString::fromLatin1(libraw_strerror(code)));
}

// LibRaw's own reports go to stderr; the load reports once, with its own message.
void QuietDataError(void*, const char*, const int) {}
void QuietMemoryError(void*, const char*, const char*) {}

// LibRaw's flip codes (its own numbering of the eight orientations) as EXIF orientations.
int ExifOrientationOfFlip(int flip) {
    static constexpr int kExif[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return flip >= 0 && flip < 8 ? kExif[flip] : 1;
}

void FileFromMemoryClose(std::FILE* file) {
    std::fclose(file);
}

// The camera's tags as a JPEG's EXIF block: the directories a photo's EXIF is made of, without
// the maker note and without the tags that describe the RAW file's own structure (strips,
// sub-directories, the DNG tags), which mean nothing in another file. Most RAW files are TIFF
// structures and are read as the EXIF block they are; the others (RAF, CR3, ORF, RW2) carry the
// camera's tags in their JPEG preview, whose own block is taken instead. The tag reader's XMP
// side is never touched, as it may not run on two threads at once and the read-ahead decodes
// RAW files too.
bool CollectExif(const QByteArray& bytes, std::vector<TJpegMarker>& markers) {
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
    try {
        Exiv2::ExifData read;
        if (Exiv2::ExifParser::decode(read, reinterpret_cast<const Exiv2::byte*>(bytes.constData()),
                                      std::uint32_t(bytes.size())) == Exiv2::invalidByteOrder)
            return false;
        Exiv2::ExifData kept;
        static const char* const kStructure[] = {
            "NewSubfileType", "SubfileType",     "ImageWidth",      "ImageLength",
            "BitsPerSample",  "Compression",     "PhotometricInterpretation",
            "StripOffsets",   "SamplesPerPixel", "RowsPerStrip",    "StripByteCounts",
            "PlanarConfiguration", "TileWidth",  "TileLength",      "TileOffsets",
            "TileByteCounts", "SubIFDs",         "JPEGInterchangeFormat",
            "JPEGInterchangeFormatLength", "PrintImageMatching",
            "XMLPacket",      "IPTCNAA",         "ImageResources",  "InterColorProfile"};
        for (const Exiv2::Exifdatum& datum : read) {
            const std::string group = datum.groupName();
            if (group != "Image" && group != "Photo" && group != "GPSInfo" && group != "Iop")
                continue;
            if (datum.tagName() == "MakerNote") continue;
            // The DNG tags (50706 on) describe the RAW data: its colour matrices, black
            // levels, its own version.
            if (group == "Image" && datum.tag() >= 50706) continue;
            bool structural = false;
            if (group == "Image")
                for (const char* name : kStructure)
                    structural = structural || datum.tagName() == name;
            if (!structural) kept.add(datum);
        }
        if (kept.empty()) return false;
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, nullptr, 0, Exiv2::littleEndian, kept);
        if (blob.empty()) return false;
        markers.push_back({0xE1, QByteArray("Exif\0\0", 6) +
                                     QByteArray(reinterpret_cast<const char*>(blob.data()),
                                                qsizetype(blob.size()))});
        return true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // Tags the reader cannot make sense of are not carried over; the picture still shows.
        return false;
    }
}

void CopyBitmapPreview(const QString& fileName, const libraw_thumbnail_t& thumb,
                       std::int64_t fileSize, TBitmap32& image) {
    const int width = thumb.twidth;
    const int height = thumb.theight;
    const int colors = thumb.tcolors;
    if ((colors != 1 && colors != 3) || width <= 0 || height <= 0 ||
        std::int64_t(thumb.tlength) < std::int64_t(width) * height * colors)
        Fail(fileName, QStringLiteral("the file holds no preview picture"));
    CheckDeclaredSize(width, height, fileSize);
    image.SetSize(width, height);
    const auto* in = reinterpret_cast<const std::uint8_t*>(thumb.thumb);
    for (int y = 0; y < height; ++y) {
        TColor32* out = image.ScanLine(y);
        for (int x = 0; x < width; ++x, in += colors) {
            const TColor32 r = in[0];
            const TColor32 g = colors == 3 ? in[1] : r;
            const TColor32 b = colors == 3 ? in[2] : r;
            out[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
}

}  // namespace

int DecodeRawPreview(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers) {
    QByteArray bytes = ReadWholeFile(fileName);
    const auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->set_dataerror_handler(QuietDataError, nullptr);
    raw->set_memerror_handler(QuietMemoryError, nullptr);
    // Nothing is developed, so LibRaw needs no more than the preview's memory: the bound it
    // keeps for RAW data stays that of any picture of this file's size.
    raw->imgdata.params.max_raw_memory_mb =
        unsigned(std::min<std::int64_t>(DecodeMemoryBound(bytes.size()) >> 20, 2048));
    Check(fileName, raw->open_buffer(bytes.data(), std::size_t(bytes.size())));
    Check(fileName, raw->unpack_thumb());
    const libraw_thumbnail_t& thumb = raw->imgdata.thumbnail;
    if (!thumb.thumb || thumb.tlength == 0)
        Fail(fileName, QStringLiteral("the file holds no preview picture"));
    const int orientation = ExifOrientationOfFlip(raw->imgdata.sizes.flip);
    std::vector<TJpegMarker> previewMarkers;

    switch (thumb.tformat) {
        case LIBRAW_THUMBNAIL_JPEG: {
            const std::unique_ptr<std::FILE, decltype(&FileFromMemoryClose)> stream(
                fmemopen(thumb.thumb, thumb.tlength, "rb"), &FileFromMemoryClose);
            if (!stream) throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
            // The preview's size judges it as a file's size judges a picture.
            try {
                DecodeJpegStream(stream.get(), std::int64_t(thumb.tlength), image,
                                 &previewMarkers, {});
            } catch (const KelvoError& error) {
                if (error.Message() == QLatin1String(TBitmap32::kAllocationFailure)) throw;
                Fail(fileName, QStringLiteral("its preview: ") + error.Message());
            }
            break;
        }
        case LIBRAW_THUMBNAIL_BITMAP:
            CopyBitmapPreview(fileName, thumb, bytes.size(), image);
            break;
        default:
            Fail(fileName, QStringLiteral("the file holds no preview picture"));
    }
    raw->recycle();
    // The RAW's own tags when it is a TIFF structure, else the preview's EXIF (only that: a
    // preview's XMP or colour profile would describe the preview, not the photograph).
    if (markers && !CollectExif(bytes, *markers))
        for (const TJpegMarker& marker : previewMarkers)
            if (marker.Code == 0xE1 && marker.Payload.startsWith(QByteArray("Exif\0\0", 6))) {
                markers->push_back(marker);
                break;
            }
    return orientation;
}
