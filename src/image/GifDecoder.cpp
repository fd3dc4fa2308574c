#include "image/GifDecoder.h"

#include <cstdint>

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/KelvoError.h"
#include "image/DecoderSupport.h"

namespace {

[[noreturn]] void ThrowGifError(int code) {
    // giflib fails a short read of a block's first byte (such as the code size that follows an
    // image descriptor) without recording a code.
    if (code == 0) throw KelvoError(QStringLiteral("GIF file is truncated"));
    const char* text = GifErrorString(code);
    throw KelvoError(text ? QString::fromLatin1(text) : QStringLiteral("GIF error #%1").arg(code));
}

int ReadFromFile(GifFileType* gif, GifByteType* buffer, int length) {
    return int(std::fread(buffer, 1, std::size_t(length), static_cast<std::FILE*>(gif->UserData)));
}

struct TGifReader {
    GifFileType* gif = nullptr;
    ~TGifReader() {
        int error = 0;
        if (gif) DGifCloseFile(gif, &error);
    }
};

struct TFirstFrame {
    int transparentIndex = -1;
};

// Reads records up to the first image descriptor, remembering the transparent index of the
// graphic control extension that precedes it.
TFirstFrame SkipToFirstImage(GifFileType* gif) {
    TFirstFrame frame;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) != GIF_OK) ThrowGifError(gif->Error);
        if (record == IMAGE_DESC_RECORD_TYPE) return frame;
        if (record == TERMINATE_RECORD_TYPE) ThrowGifError(D_GIF_ERR_NO_IMAG_DSCR);
        if (record != EXTENSION_RECORD_TYPE) continue;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) != GIF_OK) ThrowGifError(gif->Error);
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
            frame.transparentIndex = (block[1] & 0x01) ? block[4] : -1;
        while (block) {
            if (DGifGetExtensionNext(gif, &block) != GIF_OK) ThrowGifError(gif->Error);
        }
    }
}

}  // namespace

void DecodeGifFile(const QString& fileName, TBitmap32& image) {
    TImageInputFile file(fileName);
    TGifReader reader;
    int error = 0;
    reader.gif = DGifOpen(file.Handle(), ReadFromFile, &error);
    if (!reader.gif) ThrowGifError(error);
    GifFileType* gif = reader.gif;

    // A zero-sized screen holds no picture to show.
    if (gif->SWidth <= 0 || gif->SHeight <= 0) ThrowGifError(D_GIF_ERR_IMAGE_DEFECT);
    CheckDeclaredSize(gif->SWidth, gif->SHeight, file.Size());
    // One LZW code of at most 12 bits stands for at most 4096 pixels, so a file of n bytes
    // holds at most 2731 n of them. A screen larger than that is a bomb (a few bytes naming a
    // huge background), refused before its raster is made.
    const std::int64_t screenPixels = std::int64_t(gif->SWidth) * gif->SHeight;
    if (screenPixels * 4 > kAlwaysDecodedRasterBytes && screenPixels > 2731 * file.Size())
        throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));

    const TFirstFrame frame = SkipToFirstImage(gif);
    if (DGifGetImageDesc(gif) != GIF_OK) ThrowGifError(gif->Error);
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* colors = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!colors) ThrowGifError(D_GIF_ERR_NO_COLOR_MAP);

    TColor32 palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i] = 0xFF000000u;  // indices past the colour table show black
        if (i < colors->ColorCount) {
            const GifColorType& c = colors->Colors[i];
            palette[i] |= (TColor32(c.Red) << 16) | (TColor32(c.Green) << 8) | c.Blue;
        }
    }
    if (frame.transparentIndex >= 0) palette[frame.transparentIndex] = 0xFF000000u;

    image.SetSize(gif->SWidth, gif->SHeight);
    image.Clear(0xFF000000u);
    if (desc.Width <= 0 || desc.Height <= 0) return;

    // The frame may stick out of the screen on any side; only the overlap is drawn, and the
    // rows below the screen of a progressive (non-interlaced) frame are never decoded.
    static constexpr int kPassStart[] = {0, 4, 2, 1};
    static constexpr int kPassStep[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    std::vector<GifPixelType> line(std::size_t(desc.Width));
    for (int pass = 0; pass < passes; ++pass) {
        const int start = desc.Interlace ? kPassStart[pass] : 0;
        const int step = desc.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < desc.Height; row += step) {
            const int y = desc.Top + row;
            if (!desc.Interlace && y >= image.Height()) return;
            if (DGifGetLine(gif, line.data(), desc.Width) != GIF_OK) ThrowGifError(gif->Error);
            if (y < 0 || y >= image.Height()) continue;
            TColor32* out = image.ScanLine(y);
            const int firstX = std::max(0, -desc.Left);
            const int endX = std::min(desc.Width, image.Width() - desc.Left);
            for (int x = firstX; x < endX; ++x)
                out[desc.Left + x] = palette[line[std::size_t(x)]];
        }
    }
}
