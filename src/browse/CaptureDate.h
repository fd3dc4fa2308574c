#pragma once
// When a photo was taken, as the camera wrote it: EXIF DateTimeOriginal with its
// SubSecTimeOriginal, read from the first bytes of a JPEG or a TIFF-based file (most camera RAW
// formats are TIFF underneath). Only the metadata is read, never the picture: "Start by Date"
// reads it for every file of a folder.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// A capture time as one integer that orders as the time does: YYYYMMDDhhmmss followed by three
// digits of milliseconds, in the camera's local time (EXIF stores no zone).
using TCaptureStamp = std::int64_t;

// The stamp from the first bytes of a file (a JPEG's leading segments or a TIFF header and its
// IFDs); nullopt when the bytes hold no readable DateTimeOriginal. needMore is set when the
// date may lie past the bytes given, so a caller that read a short prefix can read more.
std::optional<TCaptureStamp> ParseCaptureStamp(const QByteArray& head, bool* needMore = nullptr);

// The stamp of a file, reading at most its first 64 KB; nullopt for a file without one or one
// that cannot be read.
std::optional<TCaptureStamp> ReadCaptureStamp(const QString& fileName);
// The same for the entry name of an open folder, and for an open file.
std::optional<TCaptureStamp> ReadCaptureStampAt(int folderFd, const char* name);
std::optional<TCaptureStamp> ReadCaptureStampFrom(int fd);

