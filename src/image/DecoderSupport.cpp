#include "image/DecoderSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/KelvoError.h"
#include "base/WholeFile.h"
#include "image/Bitmap32.h"

TImageInputFile::TImageInputFile(const QString& fileName) {
    const int descriptor = OpenForReading(fileName);
    struct stat status {};
    ::fstat(descriptor, &status);
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
