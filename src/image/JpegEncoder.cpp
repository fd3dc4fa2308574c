#include "image/JpegEncoder.h"

#include <jpeglib.h>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

namespace {

struct TJpegErrorManager {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    int SavedErrno;
};

extern "C" void JpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
    manager->SavedErrno = errno;  // a failed fwrite leaves its reason here
    (*info->err->format_message)(info, manager->Message);
    std::longjmp(manager->Jump, 1);
}

extern "C" void JpegSilentMessage(j_common_ptr) {}

// No C++ object with a destructor lives in this frame, so leaving it by longjmp is safe.
bool EncodeRows(std::FILE* stream, const TBitmap32& image, int quality, JSAMPROW* rows,
                const TJpegMarker* markers, std::size_t markerCount, TJpegErrorManager& errors) {
    jpeg_compress_struct info;
    info.err = jpeg_std_error(&errors.Public);
    errors.Public.error_exit = JpegErrorExit;
    errors.Public.output_message = JpegSilentMessage;
    errors.SavedErrno = 0;
    errors.Message[0] = '\0';
    if (setjmp(errors.Jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, stream);
    info.image_width = JDIMENSION(image.Width());
    info.image_height = JDIMENSION(image.Height());
    // The raster's bytes are B,G,R,A: libjpeg-turbo reads them as they are and skips the
    // fourth byte, so no converted copy of the picture is ever made.
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    // Right after the JFIF header, where readers look for them.
    for (std::size_t i = 0; i < markerCount; ++i)
        jpeg_write_marker(&info, markers[i].Code,
                          reinterpret_cast<const JOCTET*>(markers[i].Payload.constData()),
                          unsigned(markers[i].Payload.size()));
    const JDIMENSION height = info.image_height;
    while (info.next_scanline < height)
        jpeg_write_scanlines(&info, rows + info.next_scanline, height - info.next_scanline);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

void EncodeJpeg(TAtomicFile& file, const TBitmap32& image, int quality,
                const std::vector<TJpegMarker>& markers) {
    std::vector<JSAMPROW> rows(std::size_t(image.Height() > 0 ? image.Height() : 0));
    for (int y = 0; y < image.Height(); ++y)
        rows[std::size_t(y)] =
            const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(image.ScanLine(y)));
    TJpegErrorManager errors;
    if (EncodeRows(file.Stream(), image, quality, rows.data(), markers.data(), markers.size(),
                   errors))
        return;
    if (std::ferror(file.Stream())) file.Fail(errors.SavedErrno ? errors.SavedErrno : EIO);
    throw KelvoError(QString::fromLocal8Bit(errors.Message));
}
