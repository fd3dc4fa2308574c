#include "image/GifEncoder.h"

#include <gif_lib.h>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

namespace {

constexpr int kPaletteSize = 256;  // 216 cube colours, padded to a size GIF allows
constexpr int kMaxGifSide = 65535;

// Level 0..5 of one channel value: (c + 3) / 51, so that 48 is the first value of level 1 and
// 252 the first of level 5; looked up rather than divided for every pixel.
constexpr std::array<std::uint8_t, 256> MakeLevelTable() {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[std::size_t(c)] = std::uint8_t((c + 3) / 51);
    return table;
}
constexpr std::array<std::uint8_t, 256> kLevel = MakeLevelTable();

struct TGifSink {
    std::FILE* Stream;
    int SavedErrno;
};

extern "C" int WriteToSink(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* sink = static_cast<TGifSink*>(gif->UserData);
    const std::size_t written = std::fwrite(bytes, 1, std::size_t(count), sink->Stream);
    if (written != std::size_t(count) && sink->SavedErrno == 0) sink->SavedErrno = errno;
    return int(written);
}

struct TGifCloser {
    void operator()(GifFileType* gif) const noexcept {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

using TGifHandle = std::unique_ptr<GifFileType, TGifCloser>;

// The encoder is closed first: closing writes the trailer, and the stream must still be open.
[[noreturn]] void FailGif(TAtomicFile& file, const TGifSink& sink, TGifHandle& gif, int errorCode) {
    gif.reset();
    if (sink.SavedErrno != 0 || std::ferror(sink.Stream))
        file.Fail(sink.SavedErrno ? sink.SavedErrno : EIO);
    const char* text = GifErrorString(errorCode);
    throw KelvoError(QString::fromLatin1(text ? text : "GIF write error"));
}

}  // namespace

int ColorCubeIndexOf(TColor32 color) {
    return 36 * kLevel[(color >> 16) & 0xFF] + 6 * kLevel[(color >> 8) & 0xFF] +
           kLevel[color & 0xFF];
}

void EncodeGif(TAtomicFile& file, const TBitmap32& image, int transparentIndex,
               TColor32 transparentColor) {
    const int width = image.Width();
    const int height = image.Height();
    if (width > kMaxGifSide || height > kMaxGifSide)
        throw KelvoError(QStringLiteral("The image is too large for GIF (at most %1 x %1 pixels)")
                             .arg(kMaxGifSide));

    TGifSink sink{file.Stream(), 0};
    int error = 0;
    TGifHandle gif(EGifOpen(&sink, WriteToSink, &error));
    if (!gif) FailGif(file, sink, gif, error);

    std::array<GifColorType, kPaletteSize> colors{};  // entries past the cube stay black
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                colors[std::size_t(36 * r + 6 * g + b)] =
                    GifColorType{GifByteType(51 * r), GifByteType(51 * g), GifByteType(51 * b)};
    std::unique_ptr<ColorMapObject, decltype(&GifFreeMapObject)> palette(
        GifMakeMapObject(kPaletteSize, colors.data()), &GifFreeMapObject);
    if (!palette) throw KelvoError(QStringLiteral("Out of memory"));

    const bool transparent = transparentIndex >= 0;
    EGifSetGifVersion(gif.get(), transparent);
    if (EGifPutScreenDesc(gif.get(), width, height, 8, 0, palette.get()) == GIF_ERROR)
        FailGif(file, sink, gif, gif->Error);
    if (transparent) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.DelayTime = 0;
        control.TransparentColor = transparentIndex;
        GifByteType block[4];
        const std::size_t length = EGifGCBToExtension(&control, block);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, int(length), block) == GIF_ERROR)
            FailGif(file, sink, gif, gif->Error);
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_ERROR)
        FailGif(file, sink, gif, gif->Error);

    const TColor32 key = transparentColor & 0x00FFFFFF;
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const TColor32* source = image.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const TColor32 color = source[x];
            line[std::size_t(x)] =
                GifPixelType(transparent && (color & 0x00FFFFFF) == key ? transparentIndex
                                                                        : ColorCubeIndexOf(color));
        }
        if (EGifPutLine(gif.get(), line.data(), width) == GIF_ERROR)
            FailGif(file, sink, gif, gif->Error);
    }
    GifFileType* closing = gif.release();
    if (EGifCloseFile(closing, &error) == GIF_ERROR) FailGif(file, sink, gif, error);
}
