#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

#include "base/KelvoError.h"

namespace {

QString FolderPrefixOf(const QString& fileName) {
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : fileName.left(slash + 1);
}

// Opened with 0666 so that a brand-new target gets the mode the umask gives every new file;
// O_EXCL|O_NOFOLLOW keep a planted link from redirecting the write elsewhere.
int CreateExclusive(const QByteArray& path) {
    int fd;
    do {
        fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void SyncFolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : path.left(slash + 1);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // durability of the rename only; the data are already safe
    ::close(fd);
}

}  // namespace

TAtomicFile::TAtomicFile(const QString& targetName, const QString& tempName)
    : FTargetName(targetName), FTargetPath(QFile::encodeName(targetName)) {
    const QString prefix = FolderPrefixOf(targetName);
    int fd = -1;
    // Saving onto a file that carries the temporary's own name must not begin by removing it.
    if (!tempName.isEmpty() && prefix + tempName != targetName) {
        FTempName = prefix + tempName;
        FTempPath = QFile::encodeName(FTempName);
        ::unlink(FTempPath.constData());  // a leftover of an interrupted save
        fd = CreateExclusive(FTempPath);
    } else {
        // Hidden and without an image ending, so that a folder listing never offers it.
        const QString base = prefix + QLatin1Char('.') + QFileInfo(targetName).fileName();
        for (int attempt = 0; attempt < 100; ++attempt) {
            FTempName =
                base + QStringLiteral(".kelvo-%1")
                           .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
            FTempPath = QFile::encodeName(FTempName);
            fd = CreateExclusive(FTempPath);
            if (fd >= 0 || errno != EEXIST) break;
        }
    }
    if (fd < 0) throw KelvoError(CannotCreateFileMessage(FTargetName, errno));
    FStream = ::fdopen(fd, "wb");
    if (!FStream) {
        const int error = errno;
        ::close(fd);
        ::unlink(FTempPath.constData());
        throw KelvoError(CannotCreateFileMessage(FTargetName, error));
    }
}

TAtomicFile::~TAtomicFile() {
    if (!FCommitted) Discard();
}

void TAtomicFile::Discard() noexcept {
    if (FStream) {
        std::fclose(FStream);
        FStream = nullptr;
    }
    if (!FTempPath.isEmpty()) ::unlink(FTempPath.constData());
}

void TAtomicFile::Fail(int errorNumber) {
    Discard();
    FCommitted = true;  // nothing left to clean up
    throw KelvoError(CannotCreateFileMessage(FTargetName, errorNumber));
}

void TAtomicFile::Commit() {
    if (!FStream || FCommitted) return;
    errno = 0;
    if (std::fflush(FStream) != 0 || std::ferror(FStream)) Fail(errno ? errno : EIO);
    const int fd = ::fileno(FStream);

    struct stat old;
    if (::stat(FTargetPath.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        // A replaced file keeps its owner (where we may set it) and its permission bits.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd, old.st_uid, old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0) Fail(errno);
    }
    if (::fsync(fd) != 0) Fail(errno);
    const int closeResult = std::fclose(FStream);
    FStream = nullptr;
    if (closeResult != 0) Fail(errno);
    if (::rename(FTempPath.constData(), FTargetPath.constData()) != 0) Fail(errno);
    FCommitted = true;
    SyncFolderOf(FTargetPath);
}
