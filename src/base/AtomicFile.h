#pragma once
// TAtomicFile: writes a new file beside the one it replaces and puts it in place with one
// rename(2), so the old file stays whole until the new one is complete on disk.
//
//     TAtomicFile file(target);
//     fwrite(..., file.Stream());
//     file.Commit();            // throws KelvoError; the old target is untouched then
//
// The new file is written without a name (O_TMPFILE) and gets one, unique to this save, only
// once it is complete and synced, right before the rename: a save killed while writing leaves
// nothing behind, and two saves into one folder never touch each other's file. A file system
// without unnamed files gets a uniquely named hidden temporary file instead. Temporary names are
// short and of one length (".kelvo-save-" and 16 hex digits), so a target with the longest name
// the file system allows is replaced like any other; a save that dies holding a named one
// leaves it behind, and a later save into that folder removes it once it is a day old and no
// save holds its lock.
//
// A target that is a symbolic link is not replaced itself: the file it leads to is, in that
// file's folder, and the link stays. Only a regular file is ever replaced: a folder, a pipe or a
// device under the target's name is refused. When the object dies uncommitted (an exception, an
// early return) the new file is discarded and the target is never touched.

#include <QIODevice>
#include <QString>
#include <cstdio>
#include <memory>

// What a write through a symbolic link that leads nowhere does.
enum class TDanglingLink {
    Refuse,        // a failed save: the picture the user meant to replace is gone
    CreateTarget,  // the file the link names is made: settings linked elsewhere before they exist
};

class TAtomicFile {
  public:
    // Refuses at once, throwing KelvoError, when the save cannot succeed: a target the user may
    // not write ("Cannot create file "<target>". Permission denied."), one that is not a regular
    // file, a link that leads nowhere (unless told to create its target), a folder that does not
    // exist or cannot be written.
    explicit TAtomicFile(const QString& targetName,
                         TDanglingLink danglingLink = TDanglingLink::Refuse);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // The open new file, for writing only.
    std::FILE* Stream() const noexcept { return FStream; }
    const QString& TargetName() const noexcept { return FTargetName; }

    // Flushes and syncs the new file, gives it the replaced file's owner (where allowed) and
    // permission bits (or those of any new file), names it and renames it over the file being
    // replaced, then removes stale temporary files of earlier saves from the folder. Any
    // failure discards the new file and throws KelvoError(CannotCreateFileMessage(target,
    // errno)).
    void Commit();

    // Discards the new file and throws KelvoError(CannotCreateFileMessage(target,
    // errorNumber)); for encoders that notice a write error on their own.
    [[noreturn]] void Fail(int errorNumber);

    // For tests: behave as on a file system that has no unnamed files, so the named fallback
    // is exercised. Process-wide.
    static void UseNamedTemporaryFiles(bool named);

  private:
    void Discard() noexcept;
    // Gives the unnamed file its unique temporary name; returns 0 or an errno.
    int LinkUnnamedFile(int fd);

    QString FTargetName;
    QByteArray FReplacedPath;  // the target, or the file its link leads to; encoded
    QByteArray FFolderPath;    // the folder of FReplacedPath, with its trailing '/'
    QByteArray FTempPath;      // the new file's temporary name; empty while it has none
    // Declared before the stream it serves, which is always closed before it goes.
    std::unique_ptr<char[]> FStreamBuffer;
    std::FILE* FStream = nullptr;
    bool FCommitted = false;
};

// The new file of a TAtomicFile as a QIODevice, open for writing, for writers that take one
// (QPdfWriter). Such writers do not look at what a write returns, so the first failure is kept
// for the caller to hand to Fail before it commits.
class TAtomicFileDevice : public QIODevice {
  public:
    explicit TAtomicFileDevice(TAtomicFile& file);
    // The errno of the first write that failed; 0 while none has.
    int WriteError() const noexcept { return FWriteError; }
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

  private:
    std::FILE* FStream;
    int FWriteError = 0;
};
