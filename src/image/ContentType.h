#pragma once
// The picture format a file's first bytes announce, whatever its name says: for data without a
// name (standard input) and for telling a picture without tags from a file that is none. The
// signatures are the decoder table's (image/ImageFileTypes.h); this adds the QByteArray and file
// forms, and the names and endings the command line writes.

#include <QByteArray>
#include <QString>
#include <optional>

#include "image/ImageLoader.h"

// How many first bytes ImageFileTypeOfContent looks at.
inline constexpr int kContentSignatureBytes = int(kImageSignatureBytes);

// The format whose signature `start` begins with; none for any other bytes.
std::optional<TImageFileType> ImageFileTypeOfContent(const QByteArray& start);

// The same for the file's first bytes; none also when it cannot be read.
std::optional<TImageFileType> ImageFileTypeOfFile(const QString& fileName);

// "JPEG", "PNG", "GIF", "BMP", "TIFF", "HEIF", "WebP", "RAW".
QString ImageFileTypeName(TImageFileType type);

// An ending the loader reads the format by: ".jpg", ".png", ".gif", ".bmp", ".tif", ".heic",
// ".webp", ".dng".
QString ImageFileTypeEnding(TImageFileType type);
