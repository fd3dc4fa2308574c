#include "image/PngDecoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "base/KelvoError.h"
#include "image/DecoderSupport.h"

namespace {

struct TPngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = {};

    ~TPngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

[[noreturn]] void ErrorFn(png_structp png, png_const_charp message) {
    auto* reader = static_cast<TPngReader*>(png_get_error_ptr(png));
    std::strncpy(reader->message, message ? message : "", sizeof reader->message - 1);
    png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp) {}

// Text, profile and metadata chunks are never shown, and a compressed text chunk is the classic
// decompression bomb, so libpng is told to skip them unread.
const png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0eXIf\0sPLT\0hIST\0tIME";

// Drawing over black at 1:1 keeps c * a / 255 of each channel.
void BlendRowOverBlack(TColor32* row, int width) {
    for (int x = 0; x < width; ++x) {
        const TColor32 p = row[x];
        const unsigned a = p >> 24;
        const unsigned r = (((p >> 16) & 0xFF) * a + 127) / 255;
        const unsigned g = (((p >> 8) & 0xFF) * a + 127) / 255;
        const unsigned b = ((p & 0xFF) * a + 127) / 255;
        row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
}

// Returns false with reader.message set when libpng gives up. The rows are read straight into
// the raster, whose B, G, R, A bytes libpng is asked to produce; an interlaced file combines its
// passes there, and only then is the picture blended in place.
bool DecodeInto(TPngReader& reader, const TImageInputFile& file, TBitmap32& image) {
    if (setjmp(png_jmpbuf(reader.png))) return false;
    png_structp png = reader.png;
    png_infop info = reader.info;

    png_init_io(png, file.Handle());
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                int(sizeof kSkippedChunks / 5));
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    CheckDeclaredSize(width, height, file.Size());

    png_set_expand(png);
    if (bitDepth == 16) png_set_scale_16(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != png_size_t(width) * 4)
        png_error(png, "Unexpected row layout after expansion to RGBA");

    image.SetSize(int(width), int(height));
    const int rows = image.Height();
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < rows; ++y) {
            png_read_row(png, reinterpret_cast<png_bytep>(image.ScanLine(y)), nullptr);
            if (passes == 1) BlendRowOverBlack(image.ScanLine(y), image.Width());
        }
    if (passes > 1)
        for (int y = 0; y < rows; ++y)
            BlendRowOverBlack(image.ScanLine(y), image.Width());
    // libpng has checked the data stream's own checksum after the last row. The chunks after
    // the picture are not read: a damaged or missing tail costs no pixel, so it fails nothing.
    return true;
}

}  // namespace

void DecodePngFile(const QString& fileName, TBitmap32& image) {
    TImageInputFile file(fileName);
    TPngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, ErrorFn, WarningFn);
    if (reader.png) reader.info = png_create_info_struct(reader.png);
    if (!reader.png || !reader.info) throw KelvoError(QStringLiteral("Out of memory"));
    if (!DecodeInto(reader, file, image)) throw KelvoError(QString::fromLocal8Bit(reader.message));
}
