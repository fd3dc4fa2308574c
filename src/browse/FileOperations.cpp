#include "browse/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace {

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

// Called through syscall() so that a C library without the wrapper still builds.
int RenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
    return int(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

bool FileSystemLacksNoReplace(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// A new name that points to the old file fails with EEXIST instead of replacing anything.
// Returns 0, or the errno of the step that failed.
int LinkThenUnlink(const char* from, const char* to) {
    if (link(from, to) != 0) return errno;
    if (unlink(from) != 0) {
        const int error = errno;
        unlink(to);  // one name, as before, rather than two
        return error;
    }
    return 0;
}

// Last resort where neither the no-replace rename nor hard links exist: claiming the new name
// with an exclusive create first keeps an existing file from being replaced.
int ClaimThenRename(const char* from, const char* to) {
    const int claim = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (claim < 0) return errno;
    close(claim);
    if (rename(from, to) != 0) {
        const int error = errno;
        unlink(to);
        return error;
    }
    return 0;
}

bool WriteAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, std::size_t(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool CopyContents(int source, int target) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(source, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        if (!WriteAll(target, buffer.data(), got)) return false;
    }
}

// Another file system: a complete copy under the new name, created exclusively, and only then
// the original removed. Any failure leaves the original alone and no partial copy behind.
// Returns 0, or the errno of the step that failed.
int MoveAcrossFileSystems(const char* from, const char* to) {
    // Undoes a half-done move without losing the reason it failed.
    const auto failWith = [to](int error, bool removeCopy) {
        if (removeCopy) unlink(to);
        return error;
    };
    struct stat status {};
    if (lstat(from, &status) != 0) return errno;
    if (S_ISLNK(status.st_mode)) {
        char target[PATH_MAX + 1];
        const ssize_t length = readlink(from, target, PATH_MAX);
        if (length < 0) return errno;
        if (length >= PATH_MAX) return ENAMETOOLONG;
        target[length] = 0;
        if (symlink(target, to) != 0) return errno;
        if (unlink(from) != 0) return failWith(errno, true);
        return 0;
    }
    if (!S_ISREG(status.st_mode)) return EXDEV;

    const int source = open(from, O_RDONLY | O_CLOEXEC);
    if (source < 0) return errno;
    const int target = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (target < 0) {
        const int error = errno;
        close(source);
        return error;
    }
    const timespec times[2] = {status.st_atim, status.st_mtim};
    int error = 0;
    if (!CopyContents(source, target) || fchmod(target, status.st_mode & 07777) != 0 ||
        futimens(target, times) != 0 || fsync(target) != 0)
        error = errno ? errno : EIO;
    if (close(target) != 0 && error == 0) error = errno;
    close(source);
    if (error == 0 && unlink(from) != 0) error = errno;
    return error == 0 ? 0 : failWith(error, true);
}

// Both names lead to one single-linked file, so they are one directory entry reached through a
// case-blind lookup or a differently spelt path. Going through a free temporary name lets the
// entry take the new spelling.
bool RespellSameEntry(const QByteArray& from, const QByteArray& to) {
    struct stat fromStatus {};
    struct stat toStatus {};
    if (lstat(from.constData(), &fromStatus) != 0 || lstat(to.constData(), &toStatus) != 0)
        return false;
    if (fromStatus.st_dev != toStatus.st_dev || fromStatus.st_ino != toStatus.st_ino ||
        fromStatus.st_nlink != 1 || S_ISDIR(fromStatus.st_mode))
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temporary = to + ".kelvo-rename-" + QByteArray::number(getpid()) + "-" +
                                     QByteArray::number(attempt);
        if (RenameNoReplace(from.constData(), temporary.constData()) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (RenameNoReplace(temporary.constData(), to.constData()) == 0) return true;
        rename(temporary.constData(), from.constData());
        return false;
    }
    return false;
}

}  // namespace

namespace {

// 0 when the file moved, else the reason it did not.
int RenameWithoutReplacingError(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty()) return ENOENT;
    if (from == to) {
        struct stat status {};
        return lstat(QFile::encodeName(from).constData(), &status) == 0 ? 0 : errno;
    }
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (RenameNoReplace(source.constData(), target.constData()) == 0) return 0;
    int error = errno;
    if (FileSystemLacksNoReplace(error)) {
        struct stat status {};
        if (lstat(source.constData(), &status) != 0) return errno;
        if (S_ISDIR(status.st_mode)) return EISDIR;
        error = LinkThenUnlink(source.constData(), target.constData());
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS)
            error = ClaimThenRename(source.constData(), target.constData());
        if (error == 0) return 0;
    }
    if (error == EXDEV) return MoveAcrossFileSystems(source.constData(), target.constData());
    if (error == EEXIST) return RespellSameEntry(source, target) ? 0 : EEXIST;
    return error;
}

int MoveToTrashOrDeleteError(const QString& path) {
    if (path.isEmpty()) return ENOENT;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status {};
    if (lstat(encoded.constData(), &status) != 0) return errno;
    if (S_ISDIR(status.st_mode)) return EISDIR;
    if (QFile::moveToTrash(path)) return 0;
    return unlink(encoded.constData()) == 0 ? 0 : errno;
}

bool Reported(int error, int* errorNumber) {
    if (errorNumber) *errorNumber = error;
    return error == 0;
}

QString AbsoluteName(const QString& fileName) {
    return fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath();
}

}  // namespace

bool RenameWithoutReplacing(const QString& from, const QString& to, int* errorNumber) {
    return Reported(RenameWithoutReplacingError(from, to), errorNumber);
}

bool MoveToTrashOrDelete(const QString& path, int* errorNumber) {
    return Reported(MoveToTrashOrDeleteError(path), errorNumber);
}

QString CannotDeleteFileMessage(const QString& path, int errorNumber) {
    return QStringLiteral("Cannot delete file \"%1\". %2")
        .arg(AbsoluteName(path), QString::fromLocal8Bit(std::strerror(errorNumber)));
}

QString CannotRenameFileMessage(const QString& from, const QString& to, int errorNumber) {
    return QStringLiteral("Cannot rename file \"%1\" to \"%2\". %3")
        .arg(AbsoluteName(from), AbsoluteName(to),
             QString::fromLocal8Bit(std::strerror(errorNumber)));
}

bool FileIsGone(const QString& path) {
    struct stat status {};
    if (path.isEmpty()) return true;
    if (stat(QFile::encodeName(path).constData(), &status) == 0) return false;
    return errno == ENOENT || errno == ENOTDIR;
}

bool SameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    if (a == b || AbsoluteName(a) == AbsoluteName(b)) return true;
    struct stat first {};
    struct stat second {};
    return stat(QFile::encodeName(a).constData(), &first) == 0 &&
           stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}
