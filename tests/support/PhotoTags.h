#pragma once
// Camera-like JPEG files for the orientation and metadata tests, tagged with Exiv2, and the tags
// of a written file read back with Exiv2.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <exiv2/exiv2.hpp>
#include <map>
#include <string>

namespace photo_tags {

inline std::string PathOf(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

// Sets the EXIF Orientation of an existing JPEG.
inline void SetOrientation(const QString& fileName, int orientation) {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(PathOf(fileName));
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
    image->setExifData(exif);
    image->writeMetadata();
}

// What a file holds, as Exiv2 reads it.
struct TTags {
    std::map<std::string, std::string> Exif;  // key -> value as text
    std::map<std::string, std::string> Xmp;
    std::map<std::string, std::string> Iptc;
    QByteArray Icc;
    long ThumbnailBytes = 0;
    int ThumbnailTags = 0;  // Exif.Thumbnail.* entries

    std::string ExifValue(const char* key) const {
        const auto found = Exif.find(key);
        return found == Exif.end() ? std::string("<absent>") : found->second;
    }
};

inline TTags Read(const QString& fileName) {
    TTags tags;
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(PathOf(fileName));
    image->readMetadata();
    for (const Exiv2::Exifdatum& datum : image->exifData()) {
        tags.Exif[datum.key()] = datum.toString();
        if (datum.groupName() == "Thumbnail") ++tags.ThumbnailTags;
    }
    for (const Exiv2::Xmpdatum& datum : image->xmpData())
        tags.Xmp[datum.key()] = datum.toString();
    for (const Exiv2::Iptcdatum& datum : image->iptcData())
        tags.Iptc[datum.key()] = datum.toString();
    if (image->iccProfileDefined())
        tags.Icc = QByteArray(reinterpret_cast<const char*>(image->iccProfile()->pData_),
                              qsizetype(image->iccProfile()->size_));
    tags.ThumbnailBytes = Exiv2::ExifThumbC(image->exifData()).copy().size_;
    return tags;
}

// An ICC profile of the given size whose header states that size, as Exiv2 checks, and whose
// bytes differ along its length so a misplaced piece shows.
inline QByteArray FakeIccProfile(int size) {
    QByteArray profile(size, '\0');
    for (int i = 4; i < size; ++i)
        profile[i] = char(i * 7 + i / 251);
    profile[0] = char(size >> 24);
    profile[1] = char(size >> 16);
    profile[2] = char(size >> 8);
    profile[3] = char(size);
    return profile;
}

// Gives an existing JPEG what a camera and a photo library put there: EXIF with a thumbnail,
// XMP, IPTC and an ICC profile of iccSize bytes.
inline void AddCameraMetadata(const QString& fileName, int orientation, int iccSize,
                              const QByteArray& thumbnailJpeg) {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(PathOf(fileName));
    image->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Kelvo Optics";
    exif["Exif.Image.Model"] = "K-1 Test";
    exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(28, 10);
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
    exif["Exif.Photo.PixelXDimension"] = std::uint32_t(4000);
    exif["Exif.Photo.PixelYDimension"] = std::uint32_t(3000);
    Exiv2::ExifThumb(exif).setJpegThumbnail(
        reinterpret_cast<const Exiv2::byte*>(thumbnailJpeg.constData()),
        long(thumbnailJpeg.size()));
    image->setExifData(exif);
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.title"] = "lang=\"x-default\" Harbour at dawn";
    xmp["Xmp.tiff.Orientation"] = std::to_string(orientation);
    xmp["Xmp.exif.PixelXDimension"] = "4000";
    image->setXmpData(xmp);
    Exiv2::IptcData iptc;
    iptc["Iptc.Application2.Caption"] = "Boats leaving the harbour";
    iptc["Iptc.Application2.City"] = "Kelvo";
    image->setIptcData(iptc);
    if (iccSize > 0) {
        const QByteArray profile = FakeIccProfile(iccSize);
        Exiv2::DataBuf buffer(reinterpret_cast<const Exiv2::byte*>(profile.constData()),
                              long(profile.size()));
        image->setIccProfile(buffer, false);
    }
    image->writeMetadata();
}

}  // namespace photo_tags
