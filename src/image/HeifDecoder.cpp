#include "image/HeifDecoder.h"

#include <libheif/heif.h>

#include <memory>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/DecoderSupport.h"

namespace {

[[noreturn]] void Fail(const QString& fileName, const QString& reason) {
    throw KelvoError(QStringLiteral("HEIF error in file \"%1\": %2").arg(fileName, reason));
}

void Check(const QString& fileName, const heif_error& error) {
    if (error.code == heif_error_Ok) return;
    if (error.code == heif_error_Memory_allocation_error)
        throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    Fail(fileName, QString::fromUtf8(error.message ? error.message : "unknown error"));
}

struct TContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct THandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct TImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct TOptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

const QByteArray kExifSignature("Exif\0\0", 6);
const QByteArray kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray kIccSignature("ICC_PROFILE\0", 12);

QByteArray MetadataBlock(const heif_image_handle* handle, heif_item_id id) {
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size == 0 || size > std::size_t(64) << 20) return {};
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) return {};
    return block;
}

// The file's metadata as a JPEG would carry it: what TPhotoMetadata reads and writes back.
void CollectMarkers(const heif_image_handle* handle, std::vector<TJpegMarker>& markers) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    std::vector<heif_item_id> ids(std::size_t(std::max(count, 0)));
    if (count > 0) heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(), count);
    for (const heif_item_id id : ids) {
        const QByteArray type = heif_image_handle_get_metadata_type(handle, id);
        if (type == "Exif") {
            // Four bytes give where the TIFF structure starts after them.
            const QByteArray block = MetadataBlock(handle, id);
            if (block.size() < 4) continue;
            const quint32 offset = quint32(quint8(block[0])) << 24 | quint32(quint8(block[1])) << 16 |
                                   quint32(quint8(block[2])) << 8 | quint32(quint8(block[3]));
            if (offset > quint32(block.size() - 4)) continue;
            markers.push_back({0xE1, kExifSignature + block.mid(4 + qsizetype(offset))});
        } else if (type == "mime" && QByteArray(heif_image_handle_get_metadata_content_type(
                                         handle, id)) == "application/rdf+xml") {
            const QByteArray block = MetadataBlock(handle, id);
            if (!block.isEmpty()) markers.push_back({0xE1, kXmpSignature + block});
        }
    }
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        constexpr qsizetype kPiece = kMaxJpegMarkerPayload - 14;
        if (size == 0 || size > std::size_t(kPiece) * 255) return;
        QByteArray icc(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            return;
        const qsizetype pieces = (icc.size() + kPiece - 1) / kPiece;
        for (qsizetype i = 0; i < pieces; ++i)
            markers.push_back({0xE2, kIccSignature + char(i + 1) + char(pieces) +
                                         icc.mid(i * kPiece, kPiece)});
    }
}

}  // namespace

void DecodeHeifFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers) {
    const QByteArray bytes = ReadWholeFile(fileName);
    const std::unique_ptr<heif_context, TContextDeleter> context(heif_context_alloc());
    if (!context) throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    Check(fileName, heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                               std::size_t(bytes.size()), nullptr));
    heif_image_handle* primary = nullptr;
    Check(fileName, heif_context_get_primary_image_handle(context.get(), &primary));
    const std::unique_ptr<heif_image_handle, THandleDeleter> handle(primary);

    // The stored size and the size after the turn and crop are both judged before any pixel
    // memory. HEVC's and AV1's arithmetic coders can spend less than a bit on a block, so only
    // the memory bound applies, as with arithmetic-coded JPEG files.
    CheckDeclaredSize(heif_image_handle_get_ispe_width(handle.get()),
                      heif_image_handle_get_ispe_height(handle.get()), bytes.size());
    CheckDeclaredSize(heif_image_handle_get_width(handle.get()),
                      heif_image_handle_get_height(handle.get()), bytes.size());
    if (markers) CollectMarkers(handle.get(), *markers);

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, TOptionsDeleter> options(
        heif_decoding_options_alloc());
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* decodedImage = nullptr;
    Check(fileName, heif_decode_image(handle.get(), &decodedImage, heif_colorspace_RGB,
                                      alpha ? heif_chroma_interleaved_RGBA
                                            : heif_chroma_interleaved_RGB,
                                      options.get()));
    const std::unique_ptr<heif_image, TImageDeleter> decoded(decodedImage);
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0 ||
        heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8)
        Fail(fileName, QStringLiteral("the decoder gave no 8-bit picture"));
    CheckDeclaredSize(width, height, bytes.size());
    // A coded picture of another size than the file declares is a damaged or lying file: its
    // declared size was what the memory bound judged.
    const int declaredWidth = heif_image_handle_get_width(handle.get());
    const int declaredHeight = heif_image_handle_get_height(handle.get());
    // (A file without the size box declares 0 x 0: the coded picture's size is all there is.)
    if ((declaredWidth != 0 || declaredHeight != 0) &&
        (width != declaredWidth || height != declaredHeight))
        Fail(fileName, QStringLiteral("the picture is %1 x %2 pixels, the file declares %3 x %4")
                           .arg(width)
                           .arg(height)
                           .arg(declaredWidth)
                           .arg(declaredHeight));

    image.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = plane + std::size_t(y) * std::size_t(stride);
        TColor32* out = image.ScanLine(y);
        if (alpha) {
            // Drawn over black as every other picture is, keeping the alpha byte.
            for (int x = 0; x < width; ++x, in += 4) {
                if (premultiplied) {
                    out[x] = TColor32(in[3]) << 24 | TColor32(in[0]) << 16 | TColor32(in[1]) << 8 | in[2];
                    continue;
                }
                const unsigned a = in[3];
                out[x] = TColor32(a) << 24 | TColor32((in[0] * a + 127) / 255) << 16 |
                         TColor32((in[1] * a + 127) / 255) << 8 | TColor32((in[2] * a + 127) / 255);
            }
        } else {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = 0xFF000000u | TColor32(in[0]) << 16 | TColor32(in[1]) << 8 | in[2];
        }
    }
}
