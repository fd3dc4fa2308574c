#pragma once
// TAtomicFile: writes a file under a temporary name in the target's folder and puts it in
// place with one rename(2), so the old file stays whole until the new one is complete on disk.
//
//     TAtomicFile file(target);
//     fwrite(..., file.Stream());
//     file.Commit();            // throws KelvoError; the old target is untouched then
//
// When the object dies uncommitted (an exception, an early return) the temporary file is
// removed and the target is never touched.

#include <QString>
#include <cstdio>

class TAtomicFile {
  public:
    // Creates the temporary file at once; throws KelvoError(CannotCreateFileMessage(target))
    // when that is not possible (missing folder, no permission). With an empty tempName a
    // fresh unique name is chosen; otherwise tempName (a bare file name) in the target's
    // folder is used, replacing any older file of that name (unless that is the target itself,
    // which then gets a unique temporary name like any other).
    explicit TAtomicFile(const QString& targetName, const QString& tempName = QString());
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // The open temporary file, for writing only.
    std::FILE* Stream() const noexcept { return FStream; }
    const QString& TargetName() const noexcept { return FTargetName; }
    const QString& TempName() const noexcept { return FTempName; }

    // Flushes, syncs and gives the temporary file the target's permission bits (or those of a
    // new file), then renames it over the target. Any failure removes the temporary file and
    // throws KelvoError(CannotCreateFileMessage(target, errno)).
    void Commit();

    // Removes the temporary file and throws KelvoError(CannotCreateFileMessage(target,
    // errorNumber)); for encoders that notice a write error on their own.
    [[noreturn]] void Fail(int errorNumber);

  private:
    void Discard() noexcept;

    QString FTargetName;
    QString FTempName;
    QByteArray FTargetPath;  // encoded for the file system
    QByteArray FTempPath;
    std::FILE* FStream = nullptr;
    bool FCommitted = false;
};
