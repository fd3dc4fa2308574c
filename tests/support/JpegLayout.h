#pragma once
// Where things lie in a JPEG file's segments, for tests that damage a file at a chosen place.

#include <QByteArray>

namespace jpeg_layout {

struct TJpegLayout {
    qsizetype ScanData = -1;  // the first byte of the first scan's entropy-coded data
    QByteArray FrameHeader;   // the first frame header (FF C0..C2 and its segment), whole
};

// Walks the segments from the start of image up to the first scan; segments inside others (an
// EXIF thumbnail's) are stepped over.
inline TJpegLayout LayoutOf(const QByteArray& bytes) {
    TJpegLayout layout;
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && quint8(bytes[at]) == 0xFF) {
        const int code = quint8(bytes[at + 1]);
        const qsizetype length = quint8(bytes[at + 2]) << 8 | quint8(bytes[at + 3]);
        if (code >= 0xC0 && code <= 0xC2 && layout.FrameHeader.isEmpty())
            layout.FrameHeader = bytes.mid(at, 2 + length);
        at += 2 + length;
        if (code == 0xDA) {
            layout.ScanData = at;
            break;
        }
    }
    return layout;
}

}  // namespace jpeg_layout
