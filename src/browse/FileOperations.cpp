#include "browse/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <climits>
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
bool MoveAcrossFileSystems(const char* from, const char* to) {
    struct stat status {};
    if (lstat(from, &status) != 0) return false;
    if (S_ISLNK(status.st_mode)) {
        char target[PATH_MAX + 1];
        const ssize_t length = readlink(from, target, PATH_MAX);
        if (length < 0 || length >= PATH_MAX) return false;
        target[length] = 0;
        if (symlink(target, to) != 0) return false;
        if (unlink(from) != 0) {
            unlink(to);
            return false;
        }
        return true;
    }
    if (!S_ISREG(status.st_mode)) return false;

    const int source = open(from, O_RDONLY | O_CLOEXEC);
    if (source < 0) return false;
    const int target = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (target < 0) {
        close(source);
        return false;
    }
    const timespec times[2] = {status.st_atim, status.st_mtim};
    bool copied = CopyContents(source, target) && fchmod(target, status.st_mode & 07777) == 0 &&
                  futimens(target, times) == 0 && fsync(target) == 0;
    copied = close(target) == 0 && copied;
    close(source);
    if (!copied || unlink(from) != 0) {
        unlink(to);
        return false;
    }
    return true;
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

bool RenameWithoutReplacing(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty()) return false;
    if (from == to) {
        struct stat status {};
        return lstat(QFile::encodeName(from).constData(), &status) == 0;
    }
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (RenameNoReplace(source.constData(), target.constData()) == 0) return true;
    int error = errno;
    if (FileSystemLacksNoReplace(error)) {
        struct stat status {};
        if (lstat(source.constData(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
        error = LinkThenUnlink(source.constData(), target.constData());
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS)
            error = ClaimThenRename(source.constData(), target.constData());
        if (error == 0) return true;
    }
    if (error == EXDEV) return MoveAcrossFileSystems(source.constData(), target.constData());
    if (error == EEXIST) return RespellSameEntry(source, target);
    return false;
}

bool MoveToTrashOrDelete(const QString& path) {
    if (path.isEmpty()) return false;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status {};
    if (lstat(encoded.constData(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
    if (QFile::moveToTrash(path)) return true;
    return unlink(encoded.constData()) == 0;
}
