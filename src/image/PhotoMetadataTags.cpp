// The parts of the kept metadata that read and write tags through Exiv2: the orientation and the
// blocks of a save. Apart from the rest of PhotoMetadata.cpp, since the command-line tool loads
// Exiv2 only when a run needs it (cli/LibraryModules.h).

#include "image/PhotoMetadata.h"

#include <algorithm>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <mutex>
#include <new>
#include <string>

#include "image/PhotoMetadataSegments.h"

using namespace photo_segments;

namespace {

// Exiv2 writes its warnings to standard error; a damaged block is simply not carried over.
void SilenceExiv2() {
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

const Exiv2::byte* BytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const Exiv2::byte*>(bytes.constData());
}

// Runs one block's work; a block Exiv2 cannot read or write is left out. Running out of memory
// is not the block's fault and ends the save.
template <class Work>
bool ForBlock(Work work) {
    try {
        work();
        return true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
}

void AddMarker(std::vector<TJpegMarker>& markers, int code, const QByteArray& signature,
               const char* data, std::size_t size) {
    if (size == 0 || size > std::size_t(kMaxJpegMarkerPayload - signature.size())) return;
    markers.push_back({code, signature + QByteArray(data, qsizetype(size))});
}

// Sets a tag that the block already has; one it lacks is not added.
template <class Data, class Key, class Value>
void UpdateIfPresent(Data& data, const char* key, const Value& value) {
    const auto found = data.findKey(Key(key));
    if (found != data.end()) *found = value;
}

// The most a JPEG's EXIF block can hold: the segment's payload less the "Exif\0\0" signature.
constexpr std::size_t kMaxExifBytes = std::size_t(kMaxJpegMarkerPayload) - 6;

// The maker-note previews Exiv2 removes, with their offsets, to make a block fit.
const char* const kMakerNotePreviewLengths[] = {
    "Exif.Minolta.ThumbnailLength",    "Exif.Minolta.Thumbnail",
    "Exif.NikonPreview.JPEGInterchangeFormatLength",
    "Exif.Olympus.ThumbnailLength",    "Exif.Olympus.ThumbnailImage",
    "Exif.Olympus.Thumbnail",          "Exif.Olympus2.ThumbnailLength",
    "Exif.Olympus2.ThumbnailImage",    "Exif.Olympus2.Thumbnail",
    "Exif.OlympusCs.PreviewImageLength", "Exif.Pentax.PreviewLength",
};

// Encodes the tags into one block that holds every one of them. Exiv2 makes an oversized
// block fit by dropping large tags (over 4 KB) and maker-note previews without telling
// anyone, so those are looked for in what it wrote; false when the block lost any or is still
// too large.
bool EncodeWhole(const Exiv2::ExifData& exif, Exiv2::ByteOrder order, Exiv2::Blob& blob) {
    blob.clear();
    Exiv2::ExifParser::encode(blob, nullptr, 0, order, exif);
    if (blob.empty() || blob.size() > kMaxExifBytes) return false;
    std::vector<std::string> droppable;
    for (const Exiv2::Exifdatum& datum : exif) {
        const std::string key = datum.key();
        bool preview = false;
        for (const char* length : kMakerNotePreviewLengths)
            preview = preview || key == length;
        if (datum.size() > 4096 || preview) droppable.push_back(key);
    }
    if (droppable.empty()) return true;
    Exiv2::ExifData written;
    Exiv2::ExifParser::decode(written, blob.data(), std::uint32_t(blob.size()));
    for (const std::string& key : droppable)
        if (written.findKey(Exiv2::ExifKey(key)) == written.end()) return false;
    return true;
}

void EraseMakerNote(Exiv2::ExifData& exif) {
    for (auto datum = exif.begin(); datum != exif.end();) {
        const std::string group = datum->groupName();
        if (Exiv2::ExifTags::isMakerGroup(group) || group == "MakerNote" ||
            datum->key() == "Exif.Photo.MakerNote")
            datum = exif.erase(datum);
        else
            ++datum;
    }
}

void AddExif(std::vector<TJpegMarker>& markers, const QByteArray& block, int width, int height,
             bool reoriented, bool* exifLeftOut) {
    Exiv2::ExifData exif;
    const Exiv2::ByteOrder order =
        Exiv2::ExifParser::decode(exif, BytesOf(block), std::uint32_t(block.size()));
    // It would show the picture as it was before the edits.
    Exiv2::ExifThumb(exif).erase();
    if (reoriented)
        UpdateIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.Orientation",
                                                         std::uint16_t(1));
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(width);
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(height);
    UpdateIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.ImageWidth",
                                                     std::uint32_t(width));
    UpdateIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.ImageLength",
                                                     std::uint32_t(height));
    Exiv2::Blob blob;
    if (!EncodeWhole(exif, order, blob)) {
        // The maker note is the camera maker's private block, read by their own software
        // alone; everything a photographer reads in the standard tags is worth more.
        EraseMakerNote(exif);
        if (!EncodeWhole(exif, order, blob)) {
            if (exifLeftOut) *exifLeftOut = true;
            return;
        }
    }
    AddMarker(markers, kApp1, kExifSignature, reinterpret_cast<const char*>(blob.data()),
              blob.size());
}

void AddXmp(std::vector<TJpegMarker>& markers, const QByteArray& block, int width, int height,
            bool reoriented) {
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, block.toStdString()) != 0) return;
    using XmpKey = Exiv2::XmpKey;
    if (reoriented) UpdateIfPresent<Exiv2::XmpData, XmpKey>(xmp, "Xmp.tiff.Orientation", "1");
    const std::string across = std::to_string(width);
    const std::string down = std::to_string(height);
    UpdateIfPresent<Exiv2::XmpData, XmpKey>(xmp, "Xmp.exif.PixelXDimension", across);
    UpdateIfPresent<Exiv2::XmpData, XmpKey>(xmp, "Xmp.exif.PixelYDimension", down);
    UpdateIfPresent<Exiv2::XmpData, XmpKey>(xmp, "Xmp.tiff.ImageWidth", across);
    UpdateIfPresent<Exiv2::XmpData, XmpKey>(xmp, "Xmp.tiff.ImageLength", down);
    // XMP's own thumbnails, like EXIF's, would show the old picture.
    for (auto datum = xmp.begin(); datum != xmp.end();) {
        if (datum->key().rfind("Xmp.xmp.Thumbnails", 0) == 0)
            datum = xmp.erase(datum);
        else
            ++datum;
    }
    std::string packet;
    if (xmp.empty() || Exiv2::XmpParser::encode(packet, xmp) != 0) return;
    AddMarker(markers, kApp1, kXmpSignature, packet.data(), packet.size());
}

void AddIcc(std::vector<TJpegMarker>& markers, const QByteArray& profile) {
    const qsizetype pieces = (profile.size() + kIccPieceSize - 1) / kIccPieceSize;
    if (pieces == 0 || pieces > 255) return;
    for (qsizetype i = 0; i < pieces; ++i) {
        QByteArray payload = kIccSignature;
        payload += char(i + 1);
        payload += char(pieces);
        payload += profile.mid(i * kIccPieceSize, kIccPieceSize);
        markers.push_back({kApp2, std::move(payload)});
    }
}

// Only the IPTC records go: the other Photoshop resources may hold a thumbnail of the old
// picture, and the rest (print settings, paths) belongs to Photoshop's own documents.
void AddIptc(std::vector<TJpegMarker>& markers, const QByteArray& resources) {
    Exiv2::IptcData iptc;
    const Exiv2::byte* next = BytesOf(resources);
    long left = long(resources.size());
    const Exiv2::byte* record = nullptr;
    std::uint32_t headerSize = 0;
    std::uint32_t dataSize = 0;
    // The records may be split over several resource blocks; they read as one.
    Exiv2::Blob records;
    while (left > 0 &&
           Exiv2::Photoshop::locateIptcIrb(next, left, &record, &headerSize, &dataSize) == 0) {
        const Exiv2::byte* data = record + headerSize;
        records.insert(records.end(), data, data + dataSize);
        const long used = long(data + dataSize - next) + long(dataSize & 1);
        if (used <= 0 || used > left) break;
        next += used;
        left -= used;
    }
    if (records.empty() ||
        Exiv2::IptcParser::decode(iptc, records.data(), std::uint32_t(records.size())) != 0 ||
        iptc.empty())
        return;
    const Exiv2::DataBuf block = Exiv2::Photoshop::setIptcIrb(nullptr, 0, iptc);
    AddMarker(markers, kApp13, kPhotoshopSignature, reinterpret_cast<const char*>(block.pData_),
              std::size_t(block.size_));
}

}  // namespace

int TPhotoMetadata::Orientation() const {
    if (FExif.isEmpty()) return 1;
    SilenceExiv2();
    int orientation = 1;
    ForBlock([&] {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, BytesOf(FExif), std::uint32_t(FExif.size()));
        const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (found == exif.end() || found->count() == 0) return;
        const long value = found->toLong();
        if (value >= 1 && value <= 8) orientation = int(value);
    });
    return orientation;
}

std::vector<TJpegMarker> TPhotoMetadata::MarkersForSave(int width, int height, bool reoriented,
                                                        bool* exifLeftOut) const {
    SilenceExiv2();
    std::vector<TJpegMarker> markers;
    if (!FExif.isEmpty() &&
        !ForBlock([&] { AddExif(markers, FExif, width, height, reoriented, exifLeftOut); }) &&
        exifLeftOut)
        *exifLeftOut = true;
    if (!FXmp.isEmpty()) ForBlock([&] { AddXmp(markers, FXmp, width, height, reoriented); });
    if (!FIcc.isEmpty()) AddIcc(markers, FIcc);
    if (!FPhotoshop.isEmpty()) ForBlock([&] { AddIptc(markers, FPhotoshop); });
    return markers;
}
