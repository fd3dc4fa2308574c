#include "browse/CaptureDate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>

#include "base/WholeFile.h"

namespace {

// The bytes read at first, one page, enough for the EXIF dates of most camera files; the rest of
// the limit only when the dates lie further in (a maker note or a large XMP or ICC segment
// before them).
constexpr qsizetype kFirstRead = 4 << 10;
constexpr qsizetype kMostRead = 64 << 10;

constexpr int kTagExifIfd = 0x8769;
constexpr int kTagDateTimeOriginal = 0x9003;
constexpr int kTagSubSecTimeOriginal = 0x9291;
constexpr int kTypeAscii = 2;
constexpr int kTypeLong = 4;

// A TIFF structure within a byte range; every read is bounds-checked, and a read past the end
// of what was read marks that more bytes may help.
class TTiffReader {
  public:
    TTiffReader(const QByteArray& bytes, qsizetype start, bool* needMore)
        : FBytes(bytes), FStart(start), FNeedMore(needMore) {}

    bool ReadHeader(std::uint32_t* firstIfd) {
        if (!Has(0, 8)) return false;
        const char a = FBytes[FStart];
        const char b = FBytes[FStart + 1];
        if (a == 'I' && b == 'I')
            FLittle = true;
        else if (a == 'M' && b == 'M')
            FLittle = false;
        else
            return false;
        if (U16(2) != 42) return false;
        *firstIfd = U32(4);
        return true;
    }

    // The entry of the tag in the IFD at offset: its type, count and value field's offset.
    struct TEntry {
        int Type = 0;
        std::uint32_t Count = 0;
        qsizetype ValueField = 0;
    };
    std::optional<TEntry> Find(std::uint32_t ifd, int tag) {
        if (!Has(ifd, 2)) return std::nullopt;
        const int count = U16(ifd);
        for (int i = 0; i < count; ++i) {
            const qsizetype entry = qsizetype(ifd) + 2 + qsizetype(i) * 12;
            if (!Has(entry, 12)) return std::nullopt;
            // Tags are sorted in a well-formed IFD, but cameras do not all keep to it.
            if (U16(entry) == tag) return TEntry{U16(entry + 2), U32(entry + 4), entry + 8};
        }
        return std::nullopt;
    }

    // An ASCII value up to its first NUL; nullopt when it lies outside the bytes.
    std::optional<QByteArray> Ascii(const TEntry& entry) {
        if (entry.Type != kTypeAscii || entry.Count == 0 || entry.Count > 64) return std::nullopt;
        const qsizetype at = entry.Count <= 4 ? entry.ValueField : qsizetype(U32(entry.ValueField));
        if (!Has(at, entry.Count)) return std::nullopt;
        QByteArray text = FBytes.mid(FStart + at, entry.Count);
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0) text.truncate(nul);
        return text;
    }

    std::uint32_t U32(qsizetype at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(FBytes.constData() + FStart + at);
        return FLittle ? std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                             std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24
                       : std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 |
                             std::uint32_t(p[1]) << 16 | std::uint32_t(p[0]) << 24;
    }

  private:
    bool Has(qsizetype at, qsizetype length) {
        if (at < 0 || length < 0) return false;
        if (FStart + at + length <= FBytes.size()) return true;
        if (FNeedMore) *FNeedMore = true;
        return false;
    }
    int U16(qsizetype at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(FBytes.constData() + FStart + at);
        return FLittle ? p[0] | p[1] << 8 : p[1] | p[0] << 8;
    }

    const QByteArray& FBytes;
    qsizetype FStart;
    bool* FNeedMore;
    bool FLittle = true;
};

int Digits(const QByteArray& text, qsizetype at, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "YYYY:MM:DD HH:MM:SS" (some cameras write '-' or '/' between the date's fields); a date of
// zeros or blanks, which cameras without a set clock write, is none.
std::optional<TCaptureStamp> StampOf(const QByteArray& date, const QByteArray& subSeconds) {
    if (date.size() < 19) return std::nullopt;
    const int year = Digits(date, 0, 4);
    const int month = Digits(date, 5, 2);
    const int day = Digits(date, 8, 2);
    const int hour = Digits(date, 11, 2);
    const int minute = Digits(date, 14, 2);
    const int second = Digits(date, 17, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60)
        return std::nullopt;
    // Sub-seconds are a decimal fraction: "5" is half a second, "045" 45 ms.
    int milliseconds = 0;
    int scale = 100;
    for (char c : subSeconds) {
        if (c < '0' || c > '9' || scale == 0) break;
        milliseconds += (c - '0') * scale;
        scale /= 10;
    }
    TCaptureStamp stamp = year;
    for (int field : {month, day, hour, minute, second})
        stamp = stamp * 100 + field;
    return stamp * 1000 + milliseconds;
}

std::optional<TCaptureStamp> StampFromTiff(const QByteArray& bytes, qsizetype start,
                                           bool* needMore) {
    TTiffReader tiff(bytes, start, needMore);
    std::uint32_t ifd0 = 0;
    if (!tiff.ReadHeader(&ifd0)) return std::nullopt;
    const auto exifPointer = tiff.Find(ifd0, kTagExifIfd);
    if (!exifPointer || exifPointer->Type != kTypeLong || exifPointer->Count != 1)
        return std::nullopt;
    const std::uint32_t exifIfd = tiff.U32(exifPointer->ValueField);
    const auto dateEntry = tiff.Find(exifIfd, kTagDateTimeOriginal);
    if (!dateEntry) return std::nullopt;
    const std::optional<QByteArray> date = tiff.Ascii(*dateEntry);
    if (!date) return std::nullopt;
    QByteArray subSeconds;
    if (const auto subEntry = tiff.Find(exifIfd, kTagSubSecTimeOriginal))
        subSeconds = tiff.Ascii(*subEntry).value_or(QByteArray());
    return StampOf(*date, subSeconds);
}

std::optional<TCaptureStamp> StampFromJpeg(const QByteArray& bytes, bool* needMore) {
    static const QByteArray kExifSignature("Exif\0\0", 6);
    const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(bytes[at]); };
    qsizetype at = 2;
    for (;;) {
        if (at + 4 > bytes.size()) {
            if (needMore) *needMore = true;
            return std::nullopt;
        }
        if (byte(at) != 0xFF) return std::nullopt;
        const int marker = byte(at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        // The picture's data starts at SOS: the metadata segments all come before it.
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;
        const qsizetype length = qsizetype(byte(at + 2)) << 8 | byte(at + 3);
        if (length < 2) return std::nullopt;
        if (marker == 0xE1 && length >= 2 + 6 + 8 && at + 4 + 6 <= bytes.size() &&
            bytes.mid(at + 4, 6) == kExifSignature) {
            // Only the first EXIF segment counts, as for every other reader of the file.
            return StampFromTiff(bytes, at + 4 + 6, needMore);
        }
        at += 2 + length;
    }
}

}  // namespace

std::optional<TCaptureStamp> ParseCaptureStamp(const QByteArray& head, bool* needMore) {
    if (needMore) *needMore = false;
    if (head.size() >= 3 && static_cast<unsigned char>(head[0]) == 0xFF &&
        static_cast<unsigned char>(head[1]) == 0xD8 && static_cast<unsigned char>(head[2]) == 0xFF)
        return StampFromJpeg(head, needMore);
    if (head.startsWith("II*\0") || head.startsWith(QByteArray("MM\0*", 4)) ||
        head.startsWith("IIRO") || head.startsWith("IIU\0"))
        return StampFromTiff(head, 0, needMore);
    return std::nullopt;
}

std::optional<TCaptureStamp> ReadCaptureStamp(const QString& fileName) {
    const int fd = OpenRegularFileForReading(fileName);
    if (fd < 0) return std::nullopt;
    const std::optional<TCaptureStamp> stamp = ReadCaptureStampFrom(fd);
    close(fd);
    return stamp;
}

std::optional<TCaptureStamp> ReadCaptureStampAt(int folderFd, const char* name) {
    // Without blocking: a name that has turned into a FIFO since it was listed must not hang.
    const int fd = openat(folderFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const std::optional<TCaptureStamp> stamp = ReadCaptureStampFrom(fd);
    close(fd);
    return stamp;
}

std::optional<TCaptureStamp> ReadCaptureStampFrom(int fd) {
    // One buffer per thread: the listing reads hundreds of files on each.
    thread_local std::unique_ptr<char[]> buffer(new char[kMostRead]);
    std::optional<TCaptureStamp> stamp;
    qsizetype have = 0;
    for (const qsizetype limit : {kFirstRead, kMostRead}) {
        while (have < limit) {
            const ssize_t got = pread(fd, buffer.get() + have, std::size_t(limit - have), have);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            have += got;
        }
        bool needMore = false;
        stamp = ParseCaptureStamp(QByteArray::fromRawData(buffer.get(), have), &needMore);
        // A short read was the whole file: more would not come.
        if (stamp || !needMore || have < limit) break;
    }
    return stamp;
}

