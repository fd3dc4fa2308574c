#pragma once
// Whole files in and out: the one opener every reader uses (so a missing file, a folder and an
// unreadable file give the same platform message everywhere), and the one way a small file such
// as the settings or the desktop entry is replaced (through TAtomicFile).

#include <QByteArray>
#include <QString>
#include <cstddef>

// The stdio buffer of the streams pictures are decoded from and encoded into.
constexpr std::size_t kStdioBufferSize = std::size_t(256) << 10;

// A descriptor open for reading a regular file (or a link to one), opened without blocking so a
// FIFO or a device never hangs the program: -1 with errno set otherwise (EISDIR for a folder,
// which open(2) accepts and read(2) then refuses; EINVAL for any other special file).
int OpenRegularFileForReading(const QString& fileName);

// The same, throwing KelvoError(CannotOpenFileMessage(...)) for a missing, unreadable or empty
// name and a folder, and "Cannot open file "<path>". Not a regular file" for a special file.
int OpenForReading(const QString& fileName);

// Every byte of the file; throws as OpenForReading does, and likewise for a failed read.
QByteArray ReadWholeFile(const QString& fileName);

// Replaces the file's content through TAtomicFile, so a failure leaves the old content whole and
// a symbolic link keeps leading to the file, which is created when the link leads nowhere yet.
// Throws KelvoError; callers that promise their own message catch it.
void ReplaceWholeFile(const QString& fileName, const QByteArray& data);
