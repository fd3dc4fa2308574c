#include "image/LosslessJpeg.h"

#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>

#include "base/AtomicFile.h"
#include "base/LargeBlock.h"
#include "base/WholeFile.h"

namespace {

std::int64_t Nanoseconds(const timespec& time) {
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

TJpegOrigin OriginFromStatus(const QString& fileName, const struct stat& status) {
    TJpegOrigin origin;
    origin.FileName = fileName;
    origin.Device = std::uint64_t(status.st_dev);
    origin.Inode = std::uint64_t(status.st_ino);
    origin.Size = std::int64_t(status.st_size);
    origin.ModifiedNs = Nanoseconds(status.st_mtim);
    origin.ChangedNs = Nanoseconds(status.st_ctim);
    return origin;
}

bool SameFile(const TJpegOrigin& a, const TJpegOrigin& b) {
    return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size &&
           a.ModifiedNs == b.ModifiedNs && a.ChangedNs == b.ChangedNs;
}

int TransformOperation(TPixelTurn turn) {
    switch (turn.Kind()) {
        case TPixelTurn::Mirror: return TJXOP_HFLIP;
        case TPixelTurn::HalfTurn: return TJXOP_ROT180;
        case TPixelTurn::Flip: return TJXOP_VFLIP;
        case TPixelTurn::Transpose: return TJXOP_TRANSPOSE;
        case TPixelTurn::Clockwise: return TJXOP_ROT90;
        case TPixelTurn::Transverse: return TJXOP_TRANSVERSE;
        case TPixelTurn::CounterClockwise: return TJXOP_ROT270;
        case TPixelTurn::None: break;
    }
    return TJXOP_NONE;
}

// The TurboJPEG handle and the buffer it allocates, released on every way out.
struct TTransformer {
    tjhandle Handle = tjInitTransform();
    unsigned char* Output = nullptr;  // TurboJPEG's own, when the output's bound was not known
    unsigned long OutputSize = 0;
    ~TTransformer() {
        if (Output) tjFree(Output);
        if (Handle) tjDestroy(Handle);
    }
};

// Where the new file's own markers go: after the start of image and the JFIF segment the
// transform writes, as the encoder places them.
std::size_t MarkerPlace(const unsigned char* bytes, std::size_t size) {
    std::size_t place = 2;
    if (size >= place + 4 && bytes[place] == 0xFF && bytes[place + 1] == 0xE0) {
        const std::size_t length = std::size_t(bytes[place + 2]) << 8 | bytes[place + 3];
        if (place + 2 + length <= size) place += 2 + length;
    }
    return place;
}

void Write(TAtomicFile& file, const void* bytes, std::size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, file.Stream()) != size)
        file.Fail(errno ? errno : EIO);
}

}  // namespace

std::shared_ptr<const TJpegOrigin> JpegOriginOf(const QString& fileName) {
    struct stat status {};
    if (fileName.isEmpty() || ::stat(QFile::encodeName(fileName).constData(), &status) != 0 ||
        !S_ISREG(status.st_mode))
        return nullptr;
    return std::make_shared<const TJpegOrigin>(OriginFromStatus(fileName, status));
}

bool NamesOrigin(const QString& fileName, const TJpegOrigin& origin) {
    const std::shared_ptr<const TJpegOrigin> now = JpegOriginOf(fileName);
    return now && now->Device == origin.Device && now->Inode == origin.Inode;
}

std::optional<TLargeBlock> ReadUnchangedOrigin(const TJpegOrigin& origin) {
    const int descriptor = OpenRegularFileForReading(origin.FileName);
    if (descriptor < 0) return std::nullopt;
    struct stat status {};
    TLargeBlock bytes;
    bool whole = ::fstat(descriptor, &status) == 0 &&
                 SameFile(OriginFromStatus(origin.FileName, status), origin);
    try {
        if (whole) bytes = TLargeBlock(std::size_t(status.st_size));
    } catch (...) {
        ::close(descriptor);
        throw;
    }
    std::size_t done = 0;
    while (whole && done < bytes.Size()) {
        const ssize_t got = ::read(descriptor, bytes.Data() + done, bytes.Size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += std::size_t(got);
    }
    whole = whole && done == bytes.Size();
    ::close(descriptor);
    if (!whole) return std::nullopt;
    return bytes;
}

bool WriteTurnedJpeg(const QString& output, const TLargeBlock& jpegFile, TPixelTurn turn,
                     const std::vector<TJpegMarker>& markers) {
    TTransformer transformer;
    if (!transformer.Handle) throw std::bad_alloc();
    tjtransform transform{};
    transform.op = TransformOperation(turn);
    // The file's own APPn segments are replaced by the markers brought up to date for the
    // turned picture, as every save writes them.
    transform.options = TJXOPT_PERFECT | TJXOPT_COPYNONE;
    // A warning (damaged data) fails too: the decoded picture the user saw is then not what
    // the coefficients hold, and the ordinary save writes what was seen.
    int flags = TJFLAG_STOPONWARNING;
    const unsigned char* input = jpegFile.Data();
    const auto inputSize = static_cast<unsigned long>(jpegFile.Size());
    // The output's largest possible size is reserved at once, in huge pages (only the pages
    // written are ever touched): left to grow, the buffer would be copied each time it doubles.
    TLargeBlock reserved;
    int width = 0;
    int height = 0;
    int sampling = -1;
    int colourSpace = 0;
    if (tjDecompressHeader3(transformer.Handle, input, inputSize, &width, &height, &sampling,
                            &colourSpace) == 0 &&
        sampling >= 0) {
        const unsigned long largest =
            std::max(tjBufSize(width, height, sampling), tjBufSize(height, width, sampling));
        if (largest != static_cast<unsigned long>(-1)) {
            reserved = TLargeBlock(std::min<unsigned long>(largest, INT_MAX));
            flags |= TJFLAG_NOREALLOC;
        }
    }
    unsigned char* turned = reserved.Data();
    unsigned long turnedSize = static_cast<unsigned long>(reserved.Size());
    const bool transformed = tjTransform(transformer.Handle, input, inputSize, 1, &turned,
                                         &turnedSize, &transform, flags) == 0;
    // Without a reservation TurboJPEG allocated the buffer itself, and frees it.
    if (!reserved.Data()) transformer.Output = turned;
    if (!transformed) return false;
    const unsigned char* bytes = turned;
    const std::size_t size = turnedSize;
    if (size < 4) return false;
    const std::size_t place = MarkerPlace(bytes, size);
    TAtomicFile file(output);
    Write(file, bytes, place);
    for (const TJpegMarker& marker : markers) {
        const std::size_t length = std::size_t(marker.Payload.size()) + 2;
        const unsigned char header[4] = {0xFF, static_cast<unsigned char>(marker.Code),
                                         static_cast<unsigned char>(length >> 8),
                                         static_cast<unsigned char>(length & 0xFF)};
        Write(file, header, sizeof header);
        Write(file, marker.Payload.constData(), std::size_t(marker.Payload.size()));
    }
    Write(file, bytes + place, size - place);
    if (std::fflush(file.Stream()) != 0) file.Fail(errno ? errno : EIO);
    file.Commit();
    return true;
}
