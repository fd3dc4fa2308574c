#pragma once
// Small JPEG files carrying chosen TIFF/EXIF tags, written with Exiv2, for the tests of the
// extended information report.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <initializer_list>
#include <vector>

#include "image/Bitmap32.h"
#include "image/ImageSaver.h"

namespace tagged_jpeg {

// Value bytes in the machine's order, as the report's items hold them.
template <class T>
QByteArray Bytes(std::initializer_list<T> values) {
    QByteArray bytes;
    for (T value : values)
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    return bytes;
}
inline QByteArray Short(std::uint16_t value) {
    return Bytes<std::uint16_t>({value});
}
inline QByteArray Long(std::uint32_t value) {
    return Bytes<std::uint32_t>({value});
}
inline QByteArray Rational(std::uint32_t numerator, std::uint32_t denominator) {
    return Bytes<std::uint32_t>({numerator, denominator});
}
// A text with its closing NUL, as files store it.
inline QByteArray Ascii(const char* text) {
    return QByteArray(text, qsizetype(std::strlen(text)) + 1);
}

// One tag to write: Exiv2's key ("Exif.Photo.FNumber"), the TIFF type and the value bytes.
struct TTag {
    const char* Key;
    std::uint16_t Type;
    QByteArray Value;
};

// Writes an 8 x 6 JPEG carrying exactly these tags.
inline void Write(const QString& path, const std::vector<TTag>& tags) {
    TBitmap32 picture;
    picture.SetSize(8, 6);
    picture.Clear(0xFF3080C0u);
    WriteImageFile(path, picture, 90);
    Exiv2::ExifData data;
    const Exiv2::ByteOrder order =
        std::endian::native == std::endian::little ? Exiv2::littleEndian : Exiv2::bigEndian;
    for (const TTag& tag : tags) {
        Exiv2::Value::AutoPtr value = Exiv2::Value::create(Exiv2::TypeId(tag.Type));
        value->read(reinterpret_cast<const Exiv2::byte*>(tag.Value.constData()),
                    long(tag.Value.size()), order);
        data.add(Exiv2::ExifKey(tag.Key), value.get());
    }
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->setExifData(data);
    image->writeMetadata();
}

}  // namespace tagged_jpeg
