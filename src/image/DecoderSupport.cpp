#include "image/DecoderSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "app/KelvoError.h"
#include "image/Bitmap32.h"

TImageInputFile::TImageInputFile(const QString& fileName) {
    const QByteArray path = QFile::encodeName(fileName);
    errno = ENOENT;  // an empty name never reaches the system, but must still read "not found"
    const int descriptor = path.isEmpty() ? -1 : ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) throw KelvoError(CannotOpenFileMessage(fileName, errno));
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(descriptor);
        throw KelvoError(CannotOpenFileMessage(fileName, error));
    }
    FHandle = ::fdopen(descriptor, "rb");
    if (!FHandle) {
        const int error = errno;
        ::close(descriptor);
        throw KelvoError(CannotOpenFileMessage(fileName, error));
    }
    FSize = S_ISREG(status.st_mode) ? std::int64_t(status.st_size) : 0;
}

TImageInputFile::~TImageInputFile() {
    if (FHandle) std::fclose(FHandle);
}

void CheckDeclaredSize(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return;  // nothing to reserve; the decoder judges such files
    if (width <= TBitmap32::MaxPixels() && height <= TBitmap32::MaxPixels() &&
        width * height <= TBitmap32::MaxPixels())
        return;
    throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
}
