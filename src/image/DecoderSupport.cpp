#include "image/DecoderSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

#include "app/KelvoError.h"
#include "image/Bitmap32.h"

namespace {

// The platform's open error, with a reason of our own where errno has none that fits.
[[noreturn]] void ThrowCannotOpen(const QString& fileName, int error) {
    if (error != EINVAL) throw KelvoError(CannotOpenFileMessage(fileName, error));
    throw KelvoError(QStringLiteral("Cannot open file \"%1\". Not a regular file")
                         .arg(QFileInfo(fileName).absoluteFilePath()));
}

}  // namespace

int OpenRegularFileForReading(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    if (path.isEmpty()) {  // an empty name never reaches the system, but must still read
        errno = ENOENT;    // "not found"
        return -1;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return -1;
    struct stat status {};
    int error = 0;
    if (::fstat(descriptor, &status) != 0)
        error = errno;
    else if (S_ISDIR(status.st_mode))
        error = EISDIR;
    else if (!S_ISREG(status.st_mode))
        error = EINVAL;
    else if (const int flags = ::fcntl(descriptor, F_GETFL);
             flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)
        error = errno;
    if (error) {
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

TImageInputFile::TImageInputFile(const QString& fileName) {
    const int descriptor = OpenRegularFileForReading(fileName);
    if (descriptor < 0) ThrowCannotOpen(fileName, errno);
    struct stat status {};
    if (::fstat(descriptor, &status) == 0) FSize = std::int64_t(status.st_size);
    FHandle = ::fdopen(descriptor, "rb");
    if (!FHandle) {
        const int error = errno;
        ::close(descriptor);
        ThrowCannotOpen(fileName, error);
    }
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
