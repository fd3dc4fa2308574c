#pragma once
// Pictures in the formats phones and cameras write, made in the tests by the formats' own
// encoders: WebP through libwebp, HEIC and AVIF through libheif, and a DNG-like camera file (a
// TIFF structure with a small CFA "sensor" picture and an embedded JPEG preview) written here
// byte by byte. Header-only, so that the benchmarks make their inputs the same way.

#include <libheif/heif.h>
#include <webp/encode.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "image/Bitmap32.h"

namespace camera_formats {

// The picture as a WebP file: lossless keeps every byte (alpha included when withAlpha), lossy
// is libwebp's at quality 90. Empty when libwebp fails.
inline QByteArray WebpBytes(const TBitmap32& picture, bool lossless, bool withAlpha) {
    std::vector<std::uint8_t> pixels(std::size_t(picture.ByteCount()));
    std::memcpy(pixels.data(), picture.Bits(), pixels.size());
    if (!withAlpha)
        for (std::size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = 255;
    std::uint8_t* out = nullptr;
    const int stride = picture.Width() * 4;
    const std::size_t size =
        lossless ? WebPEncodeLosslessBGRA(pixels.data(), picture.Width(), picture.Height(),
                                          stride, &out)
                 : WebPEncodeBGRA(pixels.data(), picture.Width(), picture.Height(), stride, 90,
                                  &out);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    return bytes;
}

// Writes the picture (its colours; alpha is dropped) as a HEIF file through libheif's encoder
// for the format (HEVC for .heic, AV1 for .avif) with the orientation given as an EXIF value,
// which libheif stores as the file's own turn and mirror boxes. exif, when not empty, is stored
// as the picture's EXIF block (a TIFF structure). Returns why it could not, or nothing.
inline std::optional<QString> WriteHeif(const QString& path, const TBitmap32& picture,
                                        heif_compression_format format, int orientation = 1,
                                        const QByteArray& exif = {}, int quality = 90) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_image_handle* handle = nullptr;
    heif_encoding_options* options = nullptr;
    std::optional<QString> failure;
    const auto failed = [&](const char* step, const heif_error& error) {
        if (error.code == heif_error_Ok) return false;
        failure = QStringLiteral("%1: %2").arg(QString::fromLatin1(step),
                                               QString::fromUtf8(error.message));
        return true;
    };
    const int width = picture.Width();
    const int height = picture.Height();
    do {
        if (failed("no encoder", heif_context_get_encoder_for_format(context, format, &encoder)))
            break;
        heif_encoder_set_lossy_quality(encoder, quality);
        // The fastest settings: the files are inputs, their compression is beside the point.
        if (format == heif_compression_HEVC)
            heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
        else
            heif_encoder_set_parameter_integer(encoder, "speed", 9);
        if (failed("image", heif_image_create(width, height, heif_colorspace_RGB,
                                              heif_chroma_interleaved_RGB, &image)) ||
            failed("plane", heif_image_add_plane(image, heif_channel_interleaved, width, height, 8)))
            break;
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const TColor32 c = picture.ScanLine(y)[x];
                std::uint8_t* p = plane + std::size_t(y) * std::size_t(stride) + std::size_t(x) * 3;
                p[0] = std::uint8_t(c >> 16);
                p[1] = std::uint8_t(c >> 8);
                p[2] = std::uint8_t(c);
            }
        options = heif_encoding_options_alloc();
        options->image_orientation = heif_orientation(orientation);
        if (failed("encode", heif_context_encode_image(context, image, encoder, options, &handle)))
            break;
        if (!exif.isEmpty() &&
            failed("exif", heif_context_add_exif_metadata(context, handle, exif.constData(),
                                                          int(exif.size()))))
            break;
        failed("write", heif_context_write_to_file(context, QFile::encodeName(path).constData()));
    } while (false);
    if (options) heif_encoding_options_free(options);
    if (handle) heif_image_handle_release(handle);
    if (image) heif_image_release(image);
    if (encoder) heif_encoder_release(encoder);
    heif_context_free(context);
    return failure;
}

// A little-endian TIFF structure written entry by entry: enough for a camera file.
class TTiffWriter {
  public:
    struct TEntry {
        std::uint16_t Tag;
        std::uint16_t Type;  // 2 ASCII, 3 SHORT, 4 LONG, 1 BYTE, 5 RATIONAL, 10 SRATIONAL
        std::uint32_t Count;
        QByteArray Value;    // the value's bytes, little-endian
    };

    static QByteArray Shorts(std::initializer_list<std::uint16_t> values) {
        QByteArray bytes;
        for (const std::uint16_t v : values) {
            bytes += char(v & 0xFF);
            bytes += char(v >> 8);
        }
        return bytes;
    }
    static QByteArray Longs(std::initializer_list<std::uint32_t> values) {
        QByteArray bytes;
        for (const std::uint32_t v : values)
            for (int i = 0; i < 4; ++i)
                bytes += char((v >> (8 * i)) & 0xFF);
        return bytes;
    }
    static TEntry Short(std::uint16_t tag, std::uint16_t value) {
        return {tag, 3, 1, Shorts({value})};
    }
    static TEntry Long(std::uint16_t tag, std::uint32_t value) {
        return {tag, 4, 1, Longs({value})};
    }
    static TEntry Ascii(std::uint16_t tag, const char* text) {
        QByteArray bytes(text);
        bytes += '\0';
        return {tag, 2, std::uint32_t(bytes.size()), bytes};
    }

    // The size of a directory of n entries, for placing what follows it.
    static std::uint32_t DirectorySize(std::size_t n) { return std::uint32_t(2 + 12 * n + 4); }

    // Appends a directory at the end of the data (word-aligned), its out-of-line values after it;
    // returns its offset. The entries must be sorted by tag.
    std::uint32_t AddDirectory(const std::vector<TEntry>& entries, std::uint32_t next = 0) {
        Align();
        const std::uint32_t at = std::uint32_t(FData.size());
        std::uint32_t outOfLine = at + DirectorySize(entries.size());
        QByteArray directory = Shorts({std::uint16_t(entries.size())});
        QByteArray values;
        for (const TEntry& e : entries) {
            directory += Shorts({e.Tag, e.Type}) + Longs({e.Count});
            if (e.Value.size() <= 4) {
                directory += e.Value + QByteArray(4 - e.Value.size(), '\0');
            } else {
                directory += Longs({outOfLine + std::uint32_t(values.size())});
                values += e.Value;
                if (values.size() % 2) values += '\0';
            }
        }
        directory += Longs({next});
        FData += directory + values;
        return at;
    }

    // Appends raw bytes (word-aligned); returns their offset.
    std::uint32_t AddData(const QByteArray& bytes) {
        Align();
        const std::uint32_t at = std::uint32_t(FData.size());
        FData += bytes;
        return at;
    }

    std::uint32_t End() {
        Align();
        return std::uint32_t(FData.size());
    }

    // The file: header pointing at the first directory.
    QByteArray Bytes(std::uint32_t firstDirectory) const {
        QByteArray bytes = FData;
        std::memcpy(bytes.data() + 4, Longs({firstDirectory}).constData(), 4);
        return bytes;
    }

  private:
    void Align() {
        if (FData.size() % 2) FData += '\0';
    }
    QByteArray FData = QByteArray("II*\0\0\0\0\0", 8);
};

// A DNG-like camera file: the first directory is the camera's JPEG preview (JPEG compressed,
// three samples, as cameras store it), with the camera's make, model and orientation, and the
// sensor data (a tiny 16-bit CFA picture) in a sub-directory, so that LibRaw sees a RAW file
// whose largest embedded picture is the preview. bitmapPreview: the preview is uncompressed
// 8-bit RGB (width x height x 3 bytes) instead of a JPEG, as some cameras store it; it must then
// be smaller than the 32 x 32 sensor, or LibRaw would take it for the sensor data.
inline QByteArray DngLikeFile(const QByteArray& preview, int previewWidth, int previewHeight,
                              int orientation, const char* model = "Kelvo Test Camera",
                              bool bitmapPreview = false) {
    const QByteArray& jpegPreview = preview;
    using W = TTiffWriter;
    W tiff;
    constexpr int kSensor = 32;  // LibRaw takes no sensor smaller than 22 x 22
    QByteArray sensor;
    for (int i = 0; i < kSensor * kSensor; ++i)
        sensor += W::Shorts({std::uint16_t(1000 + (i * 37) % 3000)});
    const std::uint32_t sensorData = tiff.AddData(sensor);
    const std::uint32_t previewData = tiff.AddData(jpegPreview);
    const std::vector<W::TEntry> sensorEntries = {
        W::Long(254, 0),
        W::Long(256, kSensor),
        W::Long(257, kSensor),
        W::Short(258, 16),
        W::Short(259, 1),
        W::Short(262, 32803),  // colour filter array
        W::Long(273, sensorData),
        W::Short(277, 1),
        W::Long(278, kSensor),
        W::Long(279, std::uint32_t(sensor.size())),
        {33421, 3, 2, W::Shorts({2, 2})},               // CFARepeatPatternDim
        {33422, 1, 4, QByteArray("\x00\x01\x01\x02", 4)},  // CFAPattern: RGGB
    };
    const std::uint32_t sensorDirectory = tiff.AddDirectory(sensorEntries);
    // The first directory's out-of-line values follow it; the sub-directory is already placed.
    std::vector<W::TEntry> previewEntries = {
        W::Long(254, 1),  // a reduced picture: the preview
        W::Long(256, std::uint32_t(previewWidth)),
        W::Long(257, std::uint32_t(previewHeight)),
        {258, 3, 3, W::Shorts({8, 8, 8})},
        W::Short(259, bitmapPreview ? 1 : 6),  // JPEG: the preview's bytes are stored whole
        W::Short(262, bitmapPreview ? 2 : 6),
        W::Ascii(271, "Kelvo"),
        W::Ascii(272, model),
        W::Long(273, previewData),
        W::Short(274, std::uint16_t(orientation)),
        W::Short(277, 3),
        W::Long(278, std::uint32_t(previewHeight)),
        W::Long(279, std::uint32_t(jpegPreview.size())),
        W::Long(330, sensorDirectory),  // SubIFDs
        {50706, 1, 4, QByteArray("\x01\x04\x00\x00", 4)},  // DNGVersion 1.4
        W::Ascii(50708, model),                            // UniqueCameraModel
    };
    const std::uint32_t first = tiff.AddDirectory(previewEntries);
    return tiff.Bytes(first);
}

}  // namespace camera_formats
