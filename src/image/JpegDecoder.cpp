#include "image/JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "base/KelvoError.h"
#include "image/DecoderSupport.h"
#include "image/QuarterTurns.h"

// libjpeg reports fatal errors through error_exit, which must not return. Only libjpeg's own C
// frames lie between the setjmp of the entry function that called libjpeg (ReadHeader,
// StartDecompress, ...) and the longjmp here, so no C++ destructor is skipped.
struct TJpegDecompressor {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    bool created = false;
    // The metadata segments kept while the header is read. They live here, not in a frame that
    // libjpeg's errors jump over, and reach the caller once the header is read.
    std::vector<TJpegMarker> kept;
    qsizetype keptPhotoshopBytes = 0;
    int keptIccPieces = 0;
    bool keptExif = false;
    bool keptXmp = false;

    ~TJpegDecompressor() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

namespace {

const char* const kAddonMessages[] = {"Scan number %d exceeds maximum scans (%d)",
                                      "Decode cancelled", nullptr};

TJpegDecompressor& DecompressorOf(j_common_ptr info) {
    return *static_cast<TJpegDecompressor*>(info->client_data);
}

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(DecompressorOf(info).jump, 1);
}

// Warnings and trace messages would go to stderr; the viewer has nowhere to show them, while the
// command-line tool collects them. libjpeg hands over only a decode's first warning.
void OutputMessage(j_common_ptr info) {
    TJpegWarnings* warnings = TJpegWarnings::Current();
    if (!warnings) return;
    char text[JMSG_LENGTH_MAX] = {};
    info->err->format_message(info, text);
    warnings->Add(text);
}

thread_local TJpegWarnings* tCurrentWarnings = nullptr;

// A decode nobody waits for any more leaves libjpeg at once, also in the middle of the
// coefficient passes a progressive file spends most of its time in before its first row.
constexpr int kJpegCancelledCode = kJpegTooManyScansCode + 1;

void ProgressMonitor(j_common_ptr info) {
    if (TJpegCancellation::Requested()) {
        info->err->msg_code = kJpegCancelledCode;
        info->err->error_exit(info);
    }
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxJpegScans) {
        info->err->msg_code = kJpegTooManyScansCode;
        info->err->msg_parm.i[0] = decompress->input_scan_number;
        info->err->msg_parm.i[1] = kMaxJpegScans;
        info->err->error_exit(info);
    }
}

// Adobe's CMYK JPEGs store inverted ink values; plain ones store ink directly.
void CmykRowToBgra(JSAMPLE* row, int width, bool inverted) {
    for (int x = 0; x < width; ++x) {
        JSAMPLE* p = row + 4 * x;
        unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
        p[0] = JSAMPLE(b);
        p[1] = JSAMPLE(g);
        p[2] = JSAMPLE(r);
        p[3] = 0xFF;
    }
}

// Metadata segments are read by a marker processor of our own instead of libjpeg's saving one,
// which walks its whole list of saved segments for every new one: a file of a few hundred
// thousand empty APP1 segments took minutes before its first row. Ours reads every segment
// once and keeps only what the photo's metadata is made of (TPhotoMetadata::FromMarkers): the
// first EXIF block, the first XMP packet, the ICC profile's pieces and the Photoshop (IPTC)
// blocks. Empty and repeated blocks are skipped, so the picture's metadata is what it was.

// Photoshop blocks beyond this many bytes in one file are dropped: real files carry a few
// kilobytes, and the blocks are joined, so the bound is what keeps a hostile file's memory
// small. The other kinds are bounded by their structure (one EXIF and one XMP segment; at most
// 255 ICC pieces).
constexpr qsizetype kMaxKeptPhotoshopBytes = qsizetype(1) << 20;
// One piece more than a profile may have, so that a file with too many pieces still fails to
// assemble, as it always did.
constexpr int kMaxKeptIccPieces = 256;

const char kExifStart[] = {'E', 'x', 'i', 'f', 0, 0};
const char kXmpStart[] = "http://ns.adobe.com/xap/1.0/";  // its NUL belongs to the signature
const char kIccStart[] = "ICC_PROFILE";
const char kPhotoshopStart[] = "Photoshop 3.0";
constexpr std::size_t kLongestSignature = sizeof kXmpStart;
constexpr std::size_t kIccPieceHeader = 14;  // signature, sequence number, count

bool StartsWith(const JOCTET* bytes, std::size_t size, const char* signature,
                std::size_t signatureSize) {
    return size >= signatureSize && std::memcmp(bytes, signature, signatureSize) == 0;
}

// Makes at least one byte available; the stdio source never suspends, and inserts an end of
// image when the file ends, so a cut-off segment reads as a short one.
void FillIfEmpty(j_decompress_ptr info) {
    jpeg_source_mgr* source = info->src;
    if (source->bytes_in_buffer == 0 && !source->fill_input_buffer(info))
        ERREXIT(info, JERR_CANT_SUSPEND);
}

void ReadBytes(j_decompress_ptr info, JOCTET* target, std::size_t count) {
    jpeg_source_mgr* source = info->src;
    while (count > 0) {
        FillIfEmpty(info);
        const std::size_t chunk = std::min(count, source->bytes_in_buffer);
        std::memcpy(target, source->next_input_byte, chunk);
        source->next_input_byte += chunk;
        source->bytes_in_buffer -= chunk;
        target += chunk;
        count -= chunk;
    }
}

// Whether a segment of this kind, code and payload size is one the metadata is made of and not
// yet held; counts it as kept when it is.
bool TakeSegment(TJpegDecompressor& jpeg, int code, const JOCTET* start, std::size_t seen,
                 std::size_t size) {
    if (code == JPEG_APP0 + 1 && StartsWith(start, seen, kExifStart, sizeof kExifStart)) {
        if (jpeg.keptExif || size <= sizeof kExifStart) return false;
        return jpeg.keptExif = true;
    }
    if (code == JPEG_APP0 + 1 && StartsWith(start, seen, kXmpStart, sizeof kXmpStart)) {
        if (jpeg.keptXmp || size <= sizeof kXmpStart) return false;
        return jpeg.keptXmp = true;
    }
    if (code == JPEG_APP0 + 2 && StartsWith(start, seen, kIccStart, sizeof kIccStart)) {
        if (jpeg.keptIccPieces >= kMaxKeptIccPieces || size <= kIccPieceHeader) return false;
        ++jpeg.keptIccPieces;
        return true;
    }
    if (code == JPEG_APP0 + 13 &&
        StartsWith(start, seen, kPhotoshopStart, sizeof kPhotoshopStart)) {
        const qsizetype content = qsizetype(size - sizeof kPhotoshopStart);
        if (content == 0 || jpeg.keptPhotoshopBytes + content > kMaxKeptPhotoshopBytes)
            return false;
        jpeg.keptPhotoshopBytes += content;
        return true;
    }
    return false;
}

// Room for a kept segment, or null when there is no memory for it; never throws, since
// libjpeg's frames lie between here and the entry function.
QByteArray* NewKeptSegment(TJpegDecompressor& jpeg, int code, std::size_t size) noexcept {
    try {
        jpeg.kept.push_back({code, QByteArray(qsizetype(size), Qt::Uninitialized)});
        return &jpeg.kept.back().Payload;
    } catch (...) {
        return nullptr;
    }
}

boolean ReadMetadataSegment(j_decompress_ptr info) {
    TJpegDecompressor& jpeg = *static_cast<TJpegDecompressor*>(info->client_data);
    JOCTET lengthBytes[2];
    ReadBytes(info, lengthBytes, 2);
    // The length counts its own two bytes; a smaller one is read as an empty segment, as
    // libjpeg reads it.
    const unsigned length = unsigned(lengthBytes[0]) << 8 | lengthBytes[1];
    const std::size_t size = length > 2 ? length - 2 : 0;
    const int code = info->unread_marker;

    JOCTET start[kLongestSignature];
    const std::size_t seen = std::min(size, sizeof start);
    ReadBytes(info, start, seen);
    if (!TakeSegment(jpeg, code, start, seen, size)) {
        if (size > seen) info->src->skip_input_data(info, long(size - seen));
        return TRUE;
    }
    QByteArray* payload = NewKeptSegment(jpeg, code, size);
    if (!payload) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    JOCTET* bytes = reinterpret_cast<JOCTET*>(payload->data());
    std::memcpy(bytes, start, seen);
    ReadBytes(info, bytes + seen, size - seen);
    return TRUE;
}

void TurnBandInto(const TColor32* band, int width, int rows, int firstRow, int height,
                  TDecodeTurn turn, TBitmap32& image) {
    // Old row y becomes new column height - 1 - y (clockwise) or y (anticlockwise).
    const std::size_t stride = std::size_t(image.Width());
    if (turn == TDecodeTurn::Clockwise)
        RotateClockwise(band, width, rows, image.Bits() + (height - firstRow - rows), stride);
    else
        RotateCounterClockwise(band, width, rows, image.Bits() + firstRow, stride);
}

// Each function below is one entry into libjpeg with its own setjmp, and returns 0 or
// libjpeg's message code. No object with a destructor lives in their frames, which libjpeg's
// errors jump back to; a KelvoError thrown from them (a declared size no raster may hold)
// leaves by ordinary unwinding, and the reader's destructor cleans up.

// Everything up to the pixels: the header, the saved markers and the refusals of a size no
// raster may hold and of a decompression bomb, all before any pixel memory is taken.
int ReadHeader(TJpegDecompressor& jpeg, std::FILE* source, std::int64_t fileSize,
               std::vector<TJpegMarker>* markers) {
    jpeg_decompress_struct& info = jpeg.info;
    if (setjmp(jpeg.jump)) return jpeg.errors.msg_code;

    info.client_data = &jpeg;
    jpeg_create_decompress(&info);
    jpeg.created = true;
    // Progressive and multi-scan files keep every coefficient of the picture in libjpeg's own
    // memory, apart from the raster: it is held to the raster's bound (less the raster, once
    // its size is known), past which libjpeg fails (it has no backing store) instead of growing.
    info.mem->max_memory_to_use = long(
        std::min<std::int64_t>(DecodeMemoryBound(fileSize), std::numeric_limits<long>::max()));
    info.progress = &jpeg.progress;
    jpeg_stdio_src(&info, source);
    if (markers)
        for (const int code : {JPEG_APP0 + 1, JPEG_APP0 + 2, JPEG_APP0 + 13})
            jpeg_set_marker_processor(&info, code, ReadMetadataSegment);
    jpeg_read_header(&info, TRUE);
    if (markers) *markers = std::move(jpeg.kept);

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    // The raster is refused before libjpeg reserves its own full-image buffers.
    CheckDeclaredSize(info.image_width, info.image_height, fileSize);
    // The Huffman coder spends at least one bit on every 8 x 8 block of the first component
    // (arithmetic coding can spend less, so it is not judged). A file that could fill less than
    // 1/64 of its blocks is a bomb, not a cut-off photograph, which still shows its rows.
    const std::int64_t blocks = std::int64_t(info.comp_info[0].width_in_blocks) *
                                std::int64_t(info.comp_info[0].height_in_blocks);
    if (!info.arith_code &&
        std::int64_t(info.image_width) * info.image_height * 4 > kAlwaysDecodedRasterBytes &&
        fileSize * 8 * 64 < blocks)
        throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    // The raster and libjpeg's full-image buffers share the one bound: what the raster takes is
    // no longer libjpeg's (its own buffers are made in jpeg_start_decompress, after this). A
    // few megabytes stay for the buffers every file needs. A band reader holds no raster but
    // keeps the same bound, so that a file decodes in bands exactly when it decodes whole.
    constexpr std::int64_t kCodecMinimum = std::int64_t(16) << 20;
    const std::int64_t rasterBytes = std::int64_t(info.image_width) * info.image_height * 4;
    info.mem->max_memory_to_use = long(std::min<std::int64_t>(
        std::max(DecodeMemoryBound(fileSize) - rasterBytes, kCodecMinimum),
        std::numeric_limits<long>::max()));
    return 0;
}

// libjpeg's scaled size: each side divided by the denominator, rounded up.
JDIMENSION ScaledSide(JDIMENSION side, int denominator) {
    return JDIMENSION((std::uint64_t(side) + unsigned(denominator) - 1) / unsigned(denominator));
}

int StartDecompress(TJpegDecompressor& jpeg, int denominator) {
    jpeg_decompress_struct& info = jpeg.info;
    if (setjmp(jpeg.jump)) return jpeg.errors.msg_code;
    info.scale_num = 1;
    info.scale_denom = unsigned(denominator);
    jpeg_start_decompress(&info);
    if (info.output_width != ScaledSide(info.image_width, denominator) ||
        info.output_height != ScaledSide(info.image_height, denominator) ||
        info.output_components != 4)
        ERREXIT(&info, JERR_CONVERSION_NOTIMPL);
    return 0;
}

// Fills rows[0..count) whole (libjpeg may hand back fewer rows than asked), so that a file cut
// short still leaves every row defined; *read says how many rows the picture had left.
int ReadScanlines(TJpegDecompressor& jpeg, TColor32* const* rows, int count, int* read) {
    jpeg_decompress_struct& info = jpeg.info;
    if (setjmp(jpeg.jump)) return jpeg.errors.msg_code;
    JSAMPROW samples[kJpegBandRows];
    for (int i = 0; i < count; ++i)
        samples[i] = reinterpret_cast<JSAMPROW>(rows[i]);
    *read = 0;
    while (*read < count && info.output_scanline < info.output_height)
        *read += int(jpeg_read_scanlines(&info, samples + *read, JDIMENSION(count - *read)));
    if (info.out_color_space == JCS_CMYK)
        for (int i = 0; i < *read; ++i)
            CmykRowToBgra(samples[i], int(info.output_width), info.saw_Adobe_marker);
    return 0;
}

int FinishDecompress(TJpegDecompressor& jpeg) {
    if (setjmp(jpeg.jump)) return jpeg.errors.msg_code;
    jpeg_finish_decompress(&jpeg.info);
    return 0;
}

void ThrowOnFailure(int code) {
    if (code == kJpegCancelledCode) throw TJpegDecodeCancelled();
    if (code) throw KelvoError(QStringLiteral("JPEG error #%1").arg(code));
}

}  // namespace

TJpegWarnings::TJpegWarnings() : FOuter(tCurrentWarnings) {
    tCurrentWarnings = this;
}

TJpegWarnings::~TJpegWarnings() {
    tCurrentWarnings = FOuter;
}

TJpegWarnings* TJpegWarnings::Current() {
    return tCurrentWarnings;
}

namespace {
thread_local TJpegCancellation* tCurrentCancellation = nullptr;
}  // namespace

TJpegCancellation::TJpegCancellation(const std::atomic<bool>& cancelled)
    : FCancelled(cancelled), FOuter(tCurrentCancellation) {
    tCurrentCancellation = this;
}

TJpegCancellation::~TJpegCancellation() {
    tCurrentCancellation = FOuter;
}

bool TJpegCancellation::Requested() noexcept {
    return tCurrentCancellation && tCurrentCancellation->FCancelled.load(std::memory_order_relaxed);
}

// Called inside libjpeg's frames: nothing may leave it, a lack of memory included.
void TJpegWarnings::Add(const char* text) noexcept {
    try {
        FTexts.push_back(QString::fromLocal8Bit(text));
    } catch (...) {
    }
}

TJpegBandReader::TJpegBandReader(const QString& fileName, std::vector<TJpegMarker>* markers)
    : FFile(std::in_place, fileName), FJpeg(std::make_unique<TJpegDecompressor>()) {
    ReadHeaderFrom(FFile->Handle(), FFile->Size(), markers);
}

TJpegBandReader::TJpegBandReader(std::FILE* source, std::int64_t size,
                                 std::vector<TJpegMarker>* markers)
    : FJpeg(std::make_unique<TJpegDecompressor>()) {
    ReadHeaderFrom(source, size, markers);
}

void TJpegBandReader::ReadHeaderFrom(std::FILE* source, std::int64_t size,
                                     std::vector<TJpegMarker>* markers) {
    TJpegDecompressor& jpeg = *FJpeg;
    jpeg.info.err = jpeg_std_error(&jpeg.errors);
    jpeg.errors.error_exit = ErrorExit;
    jpeg.errors.output_message = OutputMessage;
    jpeg.errors.addon_message_table = kAddonMessages;
    jpeg.errors.first_addon_message = kJpegTooManyScansCode;
    jpeg.errors.last_addon_message = kJpegCancelledCode;
    jpeg.progress.progress_monitor = ProgressMonitor;
    ThrowOnFailure(ReadHeader(jpeg, source, size, markers));
}

TJpegBandReader::~TJpegBandReader() = default;

int TJpegBandReader::Width() const {
    return int(ScaledSide(FJpeg->info.image_width, FScale));
}

int TJpegBandReader::Height() const {
    return int(ScaledSide(FJpeg->info.image_height, FScale));
}

void TJpegBandReader::SetScale(int denominator) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8)
        throw KelvoError(
            QStringLiteral("JPEG scale 1/%1 is not one libjpeg makes").arg(denominator));
    FScale = denominator;
}

int TJpegBandReader::NextRow() const {
    return int(FJpeg->info.output_scanline);
}

void TJpegBandReader::Start() {
    ThrowOnFailure(StartDecompress(*FJpeg, FScale));
}

int TJpegBandReader::ReadRows(TColor32* const* rows, int count) {
    int read = 0;
    ThrowOnFailure(ReadScanlines(*FJpeg, rows, std::min(count, kJpegBandRows), &read));
    return read;
}

void TJpegBandReader::Finish() {
    ThrowOnFailure(FinishDecompress(*FJpeg));
}

void DecodeJpegFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers) {
    DecodeJpegFile(fileName, image, markers, {}, {});
}

namespace {

void DecodeAll(TJpegBandReader& reader, TBitmap32& image, std::vector<TJpegMarker>* markers,
               const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn,
               const std::function<int(int, int)>& chooseScale) {
    const TDecodeTurn turn = chooseTurn && markers ? chooseTurn(*markers) : TDecodeTurn::None;
    if (chooseScale) {
        const bool sideways = turn != TDecodeTurn::None;
        reader.SetScale(chooseScale(sideways ? reader.Height() : reader.Width(),
                                    sideways ? reader.Width() : reader.Height()));
    }
    const int width = reader.Width();
    const int height = reader.Height();
    // Taken before libjpeg reserves its own buffers in Start.
    std::vector<TColor32> band;
    if (turn == TDecodeTurn::None) {
        image.SetSize(width, height);
    } else {
        image.SetSize(height, width);
        band.resize(std::size_t(kJpegBandRows) * std::size_t(width));
    }
    reader.Start();
    TColor32* rows[kJpegBandRows];
    while (reader.NextRow() < height) {
        if (TJpegCancellation::Requested()) throw TJpegDecodeCancelled();
        const int first = reader.NextRow();
        const int count = std::min(kJpegBandRows, height - first);
        for (int i = 0; i < count; ++i)
            rows[i] = turn == TDecodeTurn::None ? image.ScanLine(first + i)
                                                : band.data() + std::size_t(i) * width;
        const int read = reader.ReadRows(rows, count);
        // The band is turned whole, so it is filled whole first.
        if (turn != TDecodeTurn::None)
            TurnBandInto(band.data(), width, read, first, height, turn, image);
    }
    reader.Finish();
}

}  // namespace

void DecodeJpegFile(const QString& fileName, TBitmap32& image, std::vector<TJpegMarker>* markers,
                    const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn,
                    const std::function<int(int, int)>& chooseScale) {
    TJpegBandReader reader(fileName, markers);
    DecodeAll(reader, image, markers, chooseTurn, chooseScale);
}

void DecodeJpegStream(std::FILE* source, std::int64_t size, TBitmap32& image,
                      std::vector<TJpegMarker>* markers,
                      const std::function<TDecodeTurn(const std::vector<TJpegMarker>&)>& chooseTurn) {
    TJpegBandReader reader(source, size, markers);
    DecodeAll(reader, image, markers, chooseTurn, {});
}
