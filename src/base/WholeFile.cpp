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

int OpenForReading(const QString& fileName) {
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
    return descriptor;
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

QString WriteTarget(const QString& fileName) {
    QFileInfo info(fileName);
    for (int depth = 0; depth < 64 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

void ReplaceWholeFile(const QString& fileName, const QByteArray& data) {
    const QString target = WriteTarget(fileName);
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && (!targetInfo.isFile() || !targetInfo.isWritable()))
        throw KelvoError(CannotCreateFileMessage(target, targetInfo.isDir() ? EISDIR : EACCES));
    TAtomicFile file(target);
    if (!data.isEmpty() && std::fwrite(data.constData(), 1, std::size_t(data.size()),
                                       file.Stream()) != std::size_t(data.size()))
        file.Fail(errno);
    file.Commit();
}
