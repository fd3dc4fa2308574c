#pragma once
// Quarter turns, flips and mirrors of a JPEG without a generation of loss: the file's DCT
// coefficients are laid the new way (TurboJPEG's transform with its "perfect" option) and no
// pixel is decoded or encoded. The quantisation tables, and so the picture's quality, stay the
// file's own.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/LargeBlock.h"
#include "image/PhotoMetadata.h"
#include "image/PixelTurn.h"

// A JPEG file as it was when its pixels were decoded: a later save may take its coefficients
// only while the file under that name is still the very same one.
struct TJpegOrigin {
    QString FileName;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
};

// Whether two looks at a file saw it unchanged: the same file, size and times.
inline bool SameJpegOrigin(const TJpegOrigin& a, const TJpegOrigin& b) {
    return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size &&
           a.ModifiedNs == b.ModifiedNs && a.ChangedNs == b.ChangedNs;
}

// The file under that name now; null when it cannot be looked at or is no regular file.
std::shared_ptr<const TJpegOrigin> JpegOriginOf(const QString& fileName);

// Whether the name leads to the origin's file (the same inode), changed since or not: a save
// under it replaces the origin.
bool NamesOrigin(const QString& fileName, const TJpegOrigin& origin);

// The origin's bytes, read through one descriptor whose file is checked to be the origin
// itself; nothing when the file is gone, replaced or changed since. Throws std::bad_alloc when
// the memory cannot be had.
std::optional<TLargeBlock> ReadUnchangedOrigin(const TJpegOrigin& origin);

// Writes output (through TAtomicFile) from the JPEG file's bytes with its coefficients laid
// turn's way, and the markers right after its JFIF header in place of the file's own APPn
// segments. Returns false and writes nothing when the turn is not perfect for this picture (a
// side it moves is not a whole number of blocks: the partial blocks would have to go to the
// top or left, where a JPEG cannot hold them) or the transform refuses the file; throws
// KelvoError when the output cannot be written.
bool WriteTurnedJpeg(const QString& output, const TLargeBlock& jpegFile, TPixelTurn turn,
                     const std::vector<TJpegMarker>& markers);
