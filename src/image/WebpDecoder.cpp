#include "image/WebpDecoder.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/DecoderSupport.h"

namespace {

const char* StatusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "out of memory";
        case VP8_STATUS_INVALID_PARAM:
            return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR:
            return "not a WebP picture, or a damaged one";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "a feature libwebp does not support";
        case VP8_STATUS_SUSPENDED:
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "the file ends too soon";
        default:
            return "unknown error";
    }
}

[[noreturn]] void Fail(const QString& fileName, const char* reason) {
    throw KelvoError(QStringLiteral("WebP error in file \"%1\": %2")
                         .arg(fileName, QString::fromLatin1(reason)));
}

// Drawing over black at 1:1 keeps c * a / 255 of each channel; the alpha byte stays.
void BlendOverBlackKeepingAlpha(TBitmap32& image) {
    const std::size_t count = std::size_t(image.Width()) * std::size_t(image.Height());
    TColor32* p = image.Bits();
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 c = p[i];
        const unsigned a = c >> 24;
        if (a == 255) continue;
        const unsigned r = (((c >> 16) & 0xFF) * a + 127) / 255;
        const unsigned g = (((c >> 8) & 0xFF) * a + 127) / 255;
        const unsigned b = ((c & 0xFF) * a + 127) / 255;
        p[i] = (c & 0xFF000000u) | (r << 16) | (g << 8) | b;
    }
}

struct TAnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The first frame of an animation, composed onto the canvas as a player shows it first.
void DecodeFirstFrame(const QString& fileName, const WebPData& data, TBitmap32& image) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) Fail(fileName, "libwebp version mismatch");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, TAnimDecoderDeleter> decoder(
        WebPAnimDecoderNew(&data, &options));
    if (!decoder) Fail(fileName, StatusText(VP8_STATUS_BITSTREAM_ERROR));
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) Fail(fileName, "unreadable animation");
    CheckDeclaredSize(info.canvas_width, info.canvas_height, std::int64_t(data.size));
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp))
        Fail(fileName, StatusText(VP8_STATUS_BITSTREAM_ERROR));
    image.SetSize(int(info.canvas_width), int(info.canvas_height));
    std::memcpy(image.Bits(), frame, std::size_t(info.canvas_width) * info.canvas_height * 4);
}

}  // namespace

void DecodeWebpFile(const QString& fileName, TBitmap32& image) {
    const QByteArray bytes = ReadWholeFile(fileName);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const std::size_t size = std::size_t(bytes.size());

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) Fail(fileName, "libwebp version mismatch");
    const VP8StatusCode status = WebPGetFeatures(data, size, &config.input);
    if (status != VP8_STATUS_OK) Fail(fileName, StatusText(status));
    // Only the memory bound is judged here: VP8's boolean coder and the lossless format's
    // zero-bit codes can both spend less than a bit on a block, so a small file says nothing
    // about a bomb, as with arithmetic-coded JPEG files.
    CheckDeclaredSize(config.input.width, config.input.height, bytes.size());
    if (config.input.has_animation) {
        DecodeFirstFrame(fileName, WebPData{data, size}, image);
    } else {
        image.SetSize(config.input.width, config.input.height);
        // B, G, R, A bytes are the raster's 0xAARRGGBB in memory: libwebp writes straight into it.
        config.output.colorspace = MODE_BGRA;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = reinterpret_cast<std::uint8_t*>(image.Bits());
        config.output.u.RGBA.stride = image.Width() * 4;
        config.output.u.RGBA.size = std::size_t(image.Width()) * std::size_t(image.Height()) * 4;
        const VP8StatusCode decoded = WebPDecode(data, size, &config);
        WebPFreeDecBuffer(&config.output);
        if (decoded != VP8_STATUS_OK) Fail(fileName, StatusText(decoded));
    }
    BlendOverBlackKeepingAlpha(image);
}
