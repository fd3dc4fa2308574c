#include "image/EmbeddedProfile.h"

#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>

#include "base/WholeFile.h"

namespace {

// A PNG's profile sits among the chunks before the image data: only they are read.
QByteArray PngProfile(int fd) {
    std::FILE* stream = fdopen(fd, "rb");
    if (!stream) {
        close(fd);
        return {};
    }
    QByteArray profile;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr,
                                             [](png_structp, png_const_charp) {});
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, stream);
        png_read_info(png, info);
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, info, &name, &compression, &data, &length) == PNG_INFO_iCCP)
            profile = QByteArray(reinterpret_cast<const char*>(data), qsizetype(length));
    }
    png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
    std::fclose(stream);
    return profile;
}

QByteArray TiffProfile(int fd) {
    // libtiff's warning and error handlers are the process's; a damaged file here only means no
    // profile, so nothing is said.
    const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(nullptr);
    const TIFFErrorHandler oldError = TIFFSetErrorHandler(nullptr);
    QByteArray profile;
    if (TIFF* tiff = TIFFFdOpen(fd, "profile", "rm")) {
        uint32_t length = 0;
        void* data = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &data) && data)
            profile = QByteArray(static_cast<const char*>(data), qsizetype(length));
        TIFFClose(tiff);  // closes fd too
    } else {
        close(fd);
    }
    TIFFSetWarningHandler(oldWarning);
    TIFFSetErrorHandler(oldError);
    return profile;
}

}  // namespace

QByteArray EmbeddedIccProfile(const QString& fileName, const TKeptMetadata& metadata) {
    if (metadata.Source) return metadata.Source->IccProfile();
    const int fd = OpenRegularFileForReading(fileName);
    if (fd < 0) return {};
    unsigned char head[8] = {};
    if (pread(fd, head, sizeof head, 0) != qsizetype(sizeof head)) {
        close(fd);
        return {};
    }
    if (png_sig_cmp(head, 0, 8) == 0) return PngProfile(fd);
    if ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
        (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42))
        return TiffProfile(fd);
    close(fd);
    return {};
}
