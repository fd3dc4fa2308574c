#include "image/JpegEncoder.h"

#include <jpeglib.h>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

// libjpeg reports fatal errors through error_exit, which must not return. Only libjpeg's own C
// frames lie between the setjmp of the entry function that called libjpeg (StartCompress,
// WriteScanlines, FinishCompress) and the longjmp, so no C++ destructor is skipped.
struct TJpegCompressor {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
    int savedErrno = 0;
    bool created = false;

    ~TJpegCompressor() {
        if (created) jpeg_destroy_compress(&info);
    }
};

namespace {

extern "C" void JpegErrorExit(j_common_ptr info) {
    auto& jpeg = *static_cast<TJpegCompressor*>(info->client_data);
    jpeg.savedErrno = errno;  // a failed fwrite leaves its reason here
    (*info->err->format_message)(info, jpeg.message);
    std::longjmp(jpeg.jump, 1);
}

extern "C" void JpegSilentMessage(j_common_ptr) {}

// Rows handed to libjpeg at a time, through an array on the stack.
constexpr int kRowsPerWrite = 16;

// Each function below is one entry into libjpeg with its own setjmp, and returns whether it
// succeeded. No object with a destructor lives in their frames.

bool StartCompress(TJpegCompressor& jpeg, std::FILE* stream, int width, int height, int quality,
                   int lumaColumns, int lumaRows, const TJpegMarker* markers,
                   std::size_t markerCount) {
    jpeg_compress_struct& info = jpeg.info;
    if (setjmp(jpeg.jump)) return false;
    info.client_data = &jpeg;
    jpeg_create_compress(&info);
    jpeg.created = true;
    jpeg_stdio_dest(&info, stream);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    // The raster's bytes are B,G,R,A: libjpeg-turbo reads them as they are and skips the
    // fourth byte, so no converted copy of the picture is ever made.
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // The luma component's sampling factors against the chroma's 1 x 1.
    info.comp_info[0].h_samp_factor = lumaColumns;
    info.comp_info[0].v_samp_factor = lumaRows;
    jpeg_start_compress(&info, TRUE);
    // Right after the JFIF header, where readers look for them.
    for (std::size_t i = 0; i < markerCount; ++i)
        jpeg_write_marker(&info, markers[i].Code,
                          reinterpret_cast<const JOCTET*>(markers[i].Payload.constData()),
                          unsigned(markers[i].Payload.size()));
    return true;
}

bool WriteScanlines(TJpegCompressor& jpeg, const TColor32* const* rows, int count) {
    if (setjmp(jpeg.jump)) return false;
    JSAMPROW samples[kRowsPerWrite];
    for (int done = 0; done < count;) {
        const int part = std::min(kRowsPerWrite, count - done);
        for (int i = 0; i < part; ++i)
            samples[i] = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(rows[done + i]));
        int written = 0;
        while (written < part) {
            const JDIMENSION taken =
                jpeg_write_scanlines(&jpeg.info, samples + written, JDIMENSION(part - written));
            // Past the declared height libjpeg takes nothing (and warns); so do we.
            if (taken == 0) return true;
            written += int(taken);
        }
        done += part;
    }
    return true;
}

bool FinishCompress(TJpegCompressor& jpeg) {
    if (setjmp(jpeg.jump)) return false;
    jpeg_finish_compress(&jpeg.info);
    return true;
}

}  // namespace

TJpegBandWriter::TJpegBandWriter(TAtomicFile& file, int width, int height, int quality,
                                 const std::vector<TJpegMarker>& markers,
                                 TChromaSampling sampling)
    : FFile(file), FJpeg(std::make_unique<TJpegCompressor>()) {
    TJpegCompressor& jpeg = *FJpeg;
    jpeg.info.err = jpeg_std_error(&jpeg.errors);
    jpeg.errors.error_exit = JpegErrorExit;
    jpeg.errors.output_message = JpegSilentMessage;
    const int lumaColumns = sampling == TChromaSampling::Yuv444 ? 1 : 2;
    const int lumaRows = sampling == TChromaSampling::Yuv420 ? 2 : 1;
    if (!StartCompress(jpeg, FFile.Stream(), width, height, quality, lumaColumns, lumaRows,
                       markers.data(), markers.size()))
        Fail();
}

TJpegBandWriter::~TJpegBandWriter() = default;

void TJpegBandWriter::WriteRows(const TColor32* const* rows, int count) {
    if (!WriteScanlines(*FJpeg, rows, count)) Fail();
}

void TJpegBandWriter::Finish() {
    if (!FinishCompress(*FJpeg)) Fail();
}

void TJpegBandWriter::Fail() {
    if (std::ferror(FFile.Stream())) FFile.Fail(FJpeg->savedErrno ? FJpeg->savedErrno : EIO);
    throw KelvoError(QString::fromLocal8Bit(FJpeg->message));
}

void EncodeJpeg(TAtomicFile& file, const TBitmap32& image, int quality,
                const std::vector<TJpegMarker>& markers, TChromaSampling sampling) {
    TJpegBandWriter writer(file, image.Width(), image.Height(), quality, markers, sampling);
    const TColor32* rows[kRowsPerWrite];
    for (int first = 0; first < image.Height(); first += kRowsPerWrite) {
        const int count = std::min(kRowsPerWrite, image.Height() - first);
        for (int i = 0; i < count; ++i)
            rows[i] = image.ScanLine(first + i);
        writer.WriteRows(rows, count);
    }
    writer.Finish();
}
