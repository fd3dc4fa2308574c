#include "base/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "base/KelvoError.h"
#include "base/WholeFile.h"

namespace {

std::atomic<bool> NamedTemporariesOnly{false};

QByteArray FolderPrefixOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray() : path.left(slash + 1);
}

// Every temporary name is this prefix and 16 hexadecimal digits: hidden and without an image
// ending, so that a folder listing never offers it; random, so that no other save, in this
// process or another, picks the same one; short and of one length whatever the target's name,
// so that a target whose name is as long as the file system allows can still be replaced; and
// recognisable, so that one left behind by a save that was killed can be removed later.
constexpr char kTemporaryPrefix[] = ".kelvo-save-";
constexpr int kTemporaryDigits = 16;

QByteArray TemporaryNameIn(const QByteArray& folder) {
    return folder + kTemporaryPrefix +
           QByteArray::number(QRandomGenerator::global()->generate64(), 16)
               .rightJustified(kTemporaryDigits, '0');
}

bool IsTemporaryName(const char* name) {
    const std::size_t prefix = sizeof kTemporaryPrefix - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0) return false;
    const char* digits = name + prefix;
    for (int i = 0; i < kTemporaryDigits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(digits[i]))) return false;
    return digits[kTemporaryDigits] == '\0';
}

// A temporary file whose save died (killed, or the machine went down) before its rename. Its
// writer held a lock on it while it lived; the lock went with the writer, so a file we can lock
// is no save's any more. It must also be a day old: a network file system may not carry locks
// between machines, and a day is far longer than any save.
constexpr std::time_t kStaleAfterSeconds = 24 * 60 * 60;

void RemoveIfStale(int folder, const char* name, std::time_t now) {
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat opened {};
    struct stat named {};
    // Still the file that was opened when the lock is held: its name could have gone to another
    // in between only if a save had just renamed it away.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        now - opened.st_mtime > kStaleAfterSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        ::unlinkat(folder, name, 0);
    ::close(fd);  // releases the lock
}

// Removes the stale temporary files of ours in the folder; anything else, and anything that
// cannot be opened, locked or removed, is left as it is.
void RemoveStaleTemporaries(const QByteArray& folder) {
    DIR* listing = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!listing) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(listing))
        if (IsTemporaryName(entry->d_name)) RemoveIfStale(::dirfd(listing), entry->d_name, now);
    ::closedir(listing);
}

// Marks the new file as a save in progress for RemoveStaleTemporaries; the lock lasts as long
// as the file is open. A file system without locks only loses that mark (the age still guards).
void LockAsInProgress(int fd) {
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

// Whether the name still leads to the open file: RemoveStaleTemporaries may have removed it
// between its creation and its lock, if a clock or a copied file made it look a day old.
bool StillNamed(int fd, const QByteArray& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// An unnamed file in the folder; -1 with errno set when there is none to be had.
int OpenUnnamed(const QByteArray& folder) {
#ifdef O_TMPFILE
    if (NamedTemporariesOnly.load()) {
        errno = EOPNOTSUPP;
        return -1;
    }
    // Naming it later goes through /proc (linkat with AT_EMPTY_PATH needs a privilege).
    if (::access("/proc/self/fd", X_OK) != 0) {
        errno = EOPNOTSUPP;
        return -1;
    }
    int fd;
    do {
        fd = ::open(folder.isEmpty() ? "." : folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                    0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
#else
    (void)folder;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// The file system (or the kernel) has no unnamed files: the named fallback is taken. A missing
// or unwritable folder gives its own error, which is reported instead.
bool LacksUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
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

void SyncFolder(const QByteArray& folder) {
    const int fd =
        ::open(folder.isEmpty() ? "." : folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // durability of the rename only; the data are already safe
    ::close(fd);
}

QString DanglingLinkMessage(const QString& targetName, const QByteArray& linkPath) {
    char destination[PATH_MAX + 1];
    const ssize_t length = ::readlink(linkPath.constData(), destination, PATH_MAX);
    if (length < 0) return CannotCreateFileMessage(targetName, ENOENT);
    return QStringLiteral(
               "Cannot create file \"%1\". The link leads to \"%2\", which does not exist")
        .arg(QFileInfo(targetName).absoluteFilePath(),
             QFile::decodeName(QByteArray(destination, length)));
}

// Where a chain of links that leads nowhere ends: the name the last link holds, read as the
// system reads it (relative to that link's own folder). Throws for a chain that loops.
QByteArray MissingDestinationOf(const QString& targetName, QByteArray path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char destination[PATH_MAX + 1];
        const ssize_t length = ::readlink(path.constData(), destination, PATH_MAX);
        if (length < 0) throw KelvoError(CannotCreateFileMessage(targetName, errno));
        const QByteArray text(destination, length);
        path = text.startsWith('/') ? text : FolderPrefixOf(path) + text;
    }
    throw KelvoError(CannotCreateFileMessage(targetName, ELOOP));
}

// The file a save replaces: the target itself, or the file its link leads to, so that the link
// survives the save. A link that leads nowhere is refused or leads to the file to create.
QByteArray ReplacedPathOf(const QString& targetName, const QByteArray& targetPath,
                          TDanglingLink danglingLink) {
    struct stat info {};
    if (::lstat(targetPath.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return targetPath;
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(targetPath.constData(), nullptr), &std::free);
    if (!resolved) {
        if (errno != ENOENT) throw KelvoError(CannotCreateFileMessage(targetName, errno));
        if (danglingLink == TDanglingLink::Refuse)
            throw KelvoError(DanglingLinkMessage(targetName, targetPath));
        return MissingDestinationOf(targetName, targetPath);
    }
    return QByteArray(resolved.get());
}

// Renaming over a file needs only the folder's write permission; a file the user has made
// read-only must not be replaced all the same, nor anything but a regular file (the rename
// would put the picture in place of a pipe or a device node).
void RequireReplaceable(const QString& targetName, const QByteArray& replacedPath) {
    if (::faccessat(AT_FDCWD, replacedPath.constData(), W_OK, AT_EACCESS) != 0) {
        if (errno == ENOENT) return;
        throw KelvoError(CannotCreateFileMessage(targetName, errno));
    }
    struct stat info {};
    if (::stat(replacedPath.constData(), &info) != 0 || S_ISREG(info.st_mode)) return;
    if (S_ISDIR(info.st_mode)) throw KelvoError(CannotCreateFileMessage(targetName, EISDIR));
    throw KelvoError(QStringLiteral("Cannot create file \"%1\". Not a regular file")
                         .arg(QFileInfo(targetName).absoluteFilePath()));
}

}  // namespace

void TAtomicFile::UseNamedTemporaryFiles(bool named) {
    NamedTemporariesOnly.store(named);
}

TAtomicFile::TAtomicFile(const QString& targetName, TDanglingLink danglingLink)
    : FTargetName(targetName) {
    FReplacedPath = ReplacedPathOf(targetName, QFile::encodeName(targetName), danglingLink);
    FFolderPath = FolderPrefixOf(FReplacedPath);
    RequireReplaceable(FTargetName, FReplacedPath);

    int fd = OpenUnnamed(FFolderPath);
    if (fd >= 0) {
        LockAsInProgress(fd);
    } else if (LacksUnnamedFiles(errno)) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            FTempPath = TemporaryNameIn(FFolderPath);
            fd = CreateExclusive(FTempPath);
            if (fd < 0) {
                if (errno != EEXIST) break;
                continue;
            }
            LockAsInProgress(fd);
            if (StillNamed(fd, FTempPath)) break;
            ::close(fd);
            fd = -1;
            errno = EEXIST;
        }
        if (fd < 0) FTempPath.clear();
    }
    if (fd < 0) throw KelvoError(CannotCreateFileMessage(FTargetName, errno));
    FStream = ::fdopen(fd, "wb");
    if (!FStream) {
        const int error = errno;
        ::close(fd);
        Discard();
        throw KelvoError(CannotCreateFileMessage(FTargetName, error));
    }
    // Encoders hand stdio a few kilobytes at a time; a larger buffer turns the thousands of
    // writes a photo would take into a few dozen.
    FStreamBuffer = std::make_unique<char[]>(kStdioBufferSize);
    std::setvbuf(FStream, FStreamBuffer.get(), _IOFBF, kStdioBufferSize);
}

TAtomicFile::~TAtomicFile() {
    if (!FCommitted) Discard();
}

void TAtomicFile::Discard() noexcept {
    if (FStream) {
        std::fclose(FStream);  // an unnamed file vanishes with its last descriptor
        FStream = nullptr;
    }
    if (!FTempPath.isEmpty()) ::unlink(FTempPath.constData());
    FTempPath.clear();
}

void TAtomicFile::Fail(int errorNumber) {
    Discard();
    FCommitted = true;  // nothing left to clean up
    throw KelvoError(CannotCreateFileMessage(FTargetName, errorNumber));
}

int TAtomicFile::LinkUnnamedFile(int fd) {
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = TemporaryNameIn(FFolderPath);
        if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, name.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            FTempPath = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

void TAtomicFile::Commit() {
    if (!FStream || FCommitted) return;
    errno = 0;
    if (std::fflush(FStream) != 0 || std::ferror(FStream)) Fail(errno ? errno : EIO);
    const int fd = ::fileno(FStream);

    struct stat old {};
    if (::stat(FReplacedPath.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        // A replaced file keeps its owner (where we may set it) and its permission bits.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd, old.st_uid, old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0) Fail(errno);
    }
    if (::fsync(fd) != 0) Fail(errno);
    // Named only now, when complete: until here a crash leaves nothing in the folder.
    if (FTempPath.isEmpty())
        if (const int error = LinkUnnamedFile(fd)) Fail(error);
    const int closeResult = std::fclose(FStream);
    FStream = nullptr;
    if (closeResult != 0) Fail(errno);
    if (::rename(FTempPath.constData(), FReplacedPath.constData()) != 0) Fail(errno);
    FTempPath.clear();
    FCommitted = true;
    SyncFolder(FFolderPath);
    RemoveStaleTemporaries(FFolderPath);
}

TAtomicFileDevice::TAtomicFileDevice(TAtomicFile& file) : FStream(file.Stream()) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TAtomicFileDevice::writeData(const char* data, qint64 size) {
    if (FWriteError) return -1;  // nothing after a hole: the file is discarded anyway
    errno = 0;
    if (size > 0 && std::fwrite(data, 1, std::size_t(size), FStream) != std::size_t(size)) {
        FWriteError = errno ? errno : EIO;
        return -1;
    }
    return size;
}
