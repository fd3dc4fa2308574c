#include "base/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"

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

int OpenForReading(const QString& fileName) {
    const int descriptor = OpenRegularFileForReading(fileName);
    if (descriptor >= 0) return descriptor;
    // errno has no reason that fits a FIFO or a device, so the message carries one of its own.
    if (errno == EINVAL)
        throw KelvoError(QStringLiteral("Cannot open file \"%1\". Not a regular file")
                             .arg(QFileInfo(fileName).absoluteFilePath()));
    throw KelvoError(CannotOpenFileMessage(fileName, errno));
}

QByteArray ReadWholeFile(const QString& fileName) {
    const int descriptor = OpenForReading(fileName);
    QByteArray contents;
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count > 0) {
            contents.append(buffer, count);
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    ::close(descriptor);
    if (error != 0) throw KelvoError(CannotOpenFileMessage(fileName, error));
    return contents;
}

void ReplaceWholeFile(const QString& fileName, const QByteArray& data) {
    TAtomicFile file(fileName, TDanglingLink::CreateTarget);
    if (!data.isEmpty() && std::fwrite(data.constData(), 1, std::size_t(data.size()),
                                       file.Stream()) != std::size_t(data.size()))
        file.Fail(errno);
    file.Commit();
}
