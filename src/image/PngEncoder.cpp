#include "image/PngEncoder.h"

#include <png.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

namespace {

struct TPngErrorState {
    char Message[256];
    int SavedErrno;
};

extern "C" void PngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<TPngErrorState*>(png_get_error_ptr(png));
    state->SavedErrno = errno;
    std::snprintf(state->Message, sizeof state->Message, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

// No C++ object with a destructor lives in this frame, so leaving it by longjmp is safe.
bool EncodeRows(std::FILE* stream, const TBitmap32& image, png_bytepp rows,
                const QByteArray* iccProfile, TPngErrorState& state) {
    state.SavedErrno = 0;
    state.Message[0] = '\0';
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    if (!png) {
        std::snprintf(state.Message, sizeof state.Message, "Out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, stream);
    png_set_IHDR(png, info, png_uint_32(image.Width()), png_uint_32(image.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 7);
    // The deflate buffer is flushed as one IDAT chunk, so this bounds every chunk.
    png_set_compression_buffer_size(png, 65535);
    if (!iccProfile->isEmpty()) {
        // A profile that fails libpng's checks is a warning, and the picture goes without it.
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE,
                     reinterpret_cast<png_const_bytep>(iccProfile->constData()),
                     png_uint_32(iccProfile->size()));
        png_set_benign_errors(png, 0);
    }
    png_write_info(png, info);
    // The raster's B,G,R,A bytes go in as they are: libpng swaps to R,G,B and drops the
    // fourth byte itself.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void EncodePng(TAtomicFile& file, const TBitmap32& image, const QByteArray& iccProfile) {
    std::vector<png_bytep> rows(std::size_t(image.Height() > 0 ? image.Height() : 0));
    for (int y = 0; y < image.Height(); ++y)
        rows[std::size_t(y)] =
            const_cast<png_bytep>(reinterpret_cast<const png_byte*>(image.ScanLine(y)));
    TPngErrorState state;
    if (EncodeRows(file.Stream(), image, rows.data(), &iccProfile, state)) return;
    if (std::ferror(file.Stream())) file.Fail(state.SavedErrno ? state.SavedErrno : EIO);
    throw KelvoError(QString::fromLocal8Bit(state.Message));
}
