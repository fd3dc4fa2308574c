#include "image/DecoderSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/Bitmap32.h"

TImageInputFile::TImageInputFile(const QString& fileName) {
    const int descriptor = OpenForReading(fileName);
    struct stat status {};
    if (::fstat(descriptor, &status) == 0) FSize = std::int64_t(status.st_size);
    FHandle = ::fdopen(descriptor, "rb");
    if (!FHandle) {
        const int error = errno;
        ::close(descriptor);
        throw KelvoError(CannotOpenFileMessage(fileName, error));
    }
    // Decoders ask stdio for a few kilobytes at a time; a larger buffer turns the thousands of
    // reads a photo would take into a few dozen.
    FBuffer = std::make_unique<char[]>(kStdioBufferSize);
    std::setvbuf(FHandle, FBuffer.get(), _IOFBF, kStdioBufferSize);
}

TImageInputFile::~TImageInputFile() {
    if (FHandle) std::fclose(FHandle);
}

std::int64_t DecodeMemoryBound(std::int64_t fileSize) {
    constexpr std::int64_t kAnyFile = std::int64_t(256) << 20;
    constexpr std::int64_t kPerFileByte = 10000;
    if (fileSize >= INT64_MAX / kPerFileByte) return INT64_MAX;
    return std::max(kAnyFile, std::max<std::int64_t>(fileSize, 0) * kPerFileByte);
}

void CheckDeclaredSize(std::int64_t width, std::int64_t height, std::int64_t fileSize) {
    if (width <= 0 || height <= 0) return;  // nothing to reserve; the decoder judges such files
    if (width <= TBitmap32::MaxPixels() && height <= TBitmap32::MaxPixels() &&
        width * height <= TBitmap32::MaxPixels() &&
        width * height <= DecodeMemoryBound(fileSize) / std::int64_t(sizeof(TColor32)))
        return;
    throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
}
