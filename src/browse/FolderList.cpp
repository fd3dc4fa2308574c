#include "browse/FolderList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QCollatorSortKey>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "base/ParallelRuns.h"
#include "browse/CaptureDate.h"
#include "browse/CompanionFiles.h"
#include "browse/FileOperations.h"
#include "image/ImageFileTypes.h"

namespace {

// The calendar fields of a two-second step packed as YYYYMMDDhhmmss in one integer, so that the
// integers order exactly as the key texts do.
using TDateStep = std::int64_t;

constexpr TDateStep kFirstStep = 101000000;      // 0000-01-01 00:00:00
constexpr TDateStep kLastStep = 99991231235958;  // 9999-12-31 23:59:58
constexpr int kFirstYear = 0;
constexpr int kLastYear = 9999;

TDateStep LocalDateStep(std::int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr) return seconds < 0 ? kFirstStep : kLastStep;
    const std::int64_t year = std::int64_t(local.tm_year) + 1900;
    if (year < kFirstYear) return kFirstStep;
    if (year > kLastYear) return kLastStep;
    TDateStep step = year;
    step = step * 100 + (local.tm_mon + 1);
    step = step * 100 + local.tm_mday;
    step = step * 100 + local.tm_hour;
    step = step * 100 + local.tm_min;
    // A leap second (60) stays within its minute's last step.
    step = step * 100 + (std::min(local.tm_sec, 59) & ~1);
    return step;
}

QString DateStepText(TDateStep step) {
    // Digits are written from the right; the fixed widths make every field zero-padded.
    static constexpr int kWidths[] = {2, 2, 2, 2, 2, 4};
    static constexpr char kSeparators[] = {':', ':', ' ', '-', '-'};
    QString text(19, QLatin1Char('0'));
    int position = 19;
    for (int field = 0; field < 6; ++field) {
        for (int digit = 0; digit < kWidths[field]; ++digit) {
            text[--position] = QLatin1Char(char('0' + step % 10));
            step /= 10;
        }
        if (field < 5) text[--position] = QLatin1Char(kSeparators[field]);
    }
    return text;
}

bool IsAsciiOnly(const char* name, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(name[i]) >= 0x80) return false;
    return true;
}

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// The upper-case substring test on raw bytes, valid when every byte is ASCII.
bool AsciiHasImageNameSubstring(const char* name, std::size_t length) {
    for (std::size_t i = 0; i + 4 <= length; ++i) {
        if (name[i] != '.') continue;
        const char a = AsciiUpper(name[i + 1]);
        const char b = AsciiUpper(name[i + 2]);
        const char c = AsciiUpper(name[i + 3]);
        if ((a == 'J' && b == 'P' && c == 'G') || (a == 'G' && b == 'I' && c == 'F') ||
            (a == 'B' && b == 'M' && c == 'P'))
            return true;
    }
    return false;
}

// The endings collected beside the three substrings: every JPEG and TIFF spelling, HEIF/AVIF,
// WebP and camera RAW. PNG stays out, as it always has.
bool HasAddedImageEnding(const QString& name) {
    const std::optional<TImageFileType> type = ImageFileTypeOfEnding(name);
    return type && *type != TImageFileType::Png && *type != TImageFileType::Gif &&
           *type != TImageFileType::Bmp;
}

struct TFolderEntry {
    QString name;
    // The order's key: the two-second step (by date), the capture stamp (by date taken), or 0.
    std::int64_t step;
    // By date taken: the name as the folder holds it, and what its capture date is cached
    // against.
    QByteArray rawName;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t modifiedSeconds = 0;
};

struct TCachedCaptureDate {
    std::int64_t size;
    std::int64_t mtimeNs;
    std::optional<TCaptureStamp> stamp;
};

// The session's capture dates by path. Stepping through a card with "Start by Date" again and
// again must not read every file each time, and a file saved or replaced since shows a new size
// or time, so it is read again.
std::mutex gCaptureDatesLock;
std::unordered_map<QString, TCachedCaptureDate> gCaptureDates;

// Gives every entry its capture stamp, or its modification time on the same scale; the reads run
// in parallel, since each is a wait on the disk more than work.
void FillCaptureStamps(int folderFd, const QString& prefix, std::vector<TFolderEntry>& entries) {
    std::vector<std::optional<TCaptureStamp>> stamps(entries.size());
    std::vector<char> known(entries.size(), 0);
    {
        const std::lock_guard<std::mutex> lock(gCaptureDatesLock);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto cached = gCaptureDates.find(prefix + entries[i].name);
            if (cached != gCaptureDates.end() && cached->second.size == entries[i].size &&
                cached->second.mtimeNs == entries[i].mtimeNs) {
                stamps[i] = cached->second.stamp;
                known[i] = 1;
            }
        }
    }
    std::vector<std::size_t> toRead;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!known[i]) toRead.push_back(i);
    if (!toRead.empty()) {
        ForEachRun(toRead.size(), ParallelRunCount(toRead.size(), 16), 1,
                   [&](std::size_t begin, std::size_t end, int) {
                       for (std::size_t k = begin; k < end; ++k)
                           stamps[toRead[k]] = ReadCaptureStampAt(
                               folderFd, entries[toRead[k]].rawName.constData());
                   });
        const std::lock_guard<std::mutex> lock(gCaptureDatesLock);
        for (std::size_t i : toRead)
            gCaptureDates[prefix + entries[i].name] = {entries[i].size, entries[i].mtimeNs,
                                                       stamps[i]};
    }
    // A file without a capture date stands at its two-second modification step, as in the plain
    // date order, so a folder without camera files lists exactly as it does there.
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i].step = stamps[i] ? *stamps[i] : LocalDateStep(entries[i].modifiedSeconds) * 1000;
}

void CloseDirectory(DIR* directory) {
    closedir(directory);
}

}  // namespace

bool HasImageNameSubstring(const QString& path) {
    const QString upper = path.toUpper();
    return upper.contains(QLatin1String(".JPG")) || upper.contains(QLatin1String(".GIF")) ||
           upper.contains(QLatin1String(".BMP"));
}

QString FolderDateKey(std::int64_t secondsSinceEpoch) {
    return DateStepText(LocalDateStep(secondsSinceEpoch));
}

QStringList CollectFolderImages(const QString& folder, TFolderOrder order) {
    QString base = folder;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.isEmpty()) return {};
    // The root already ends in its separator; adding another would put "//" into every entry.
    const QString prefix = base == QLatin1String("/") ? base : base + QLatin1Char('/');
    // No pattern contains "/", so a match cannot straddle the separator: either the folder
    // matches and takes every file, or the entry name has to match on its own.
    const bool folderMatches = HasImageNameSubstring(base);
    const bool byDate = order == TFolderOrder::ByDate;
    const bool byDateTaken = order == TFolderOrder::ByDateTaken;

    const int folderFd =
        open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return {};
    DIR* directory = fdopendir(folderFd);
    if (directory == nullptr) {
        close(folderFd);
        return {};
    }
    std::unique_ptr<DIR, decltype(&CloseDirectory)> closer(directory, &CloseDirectory);

    std::vector<TFolderEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory);
        if (entry == nullptr) {
            // A listing that breaks off part-way is no listing: half a folder would be
            // presented as if it were all of it.
            if (errno != 0) return {};
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;

        // The entry type from the listing spares a stat for plain files and folders; links and
        // file systems that do not report types need one. Fifos, sockets and devices are never
        // image files, and opening a fifo would block whoever loads it.
        bool needStat = byDate || byDateTaken;
        switch (entry->d_type) {
            case DT_REG:
                break;
            case DT_LNK:
            case DT_UNKNOWN:
                needStat = true;
                break;
            default:
                continue;
        }

        const std::size_t length = std::strlen(name);
        const bool ascii = IsAsciiOnly(name, length);
        QString displayName;
        if (ascii) {
            displayName = QString::fromLatin1(name, qsizetype(length));
            if (!folderMatches && !AsciiHasImageNameSubstring(name, length) &&
                !HasAddedImageEnding(displayName))
                continue;
        } else {
            displayName = QFile::decodeName(name);
            // A name that does not survive the trip through text could never be opened again
            // from the list.
            if (QFile::encodeName(displayName) != QByteArrayView(name, qsizetype(length))) continue;
            if (!folderMatches && !HasImageNameSubstring(displayName) &&
                !HasAddedImageEnding(displayName))
                continue;
        }

        TFolderEntry listed{std::move(displayName), 0};
        if (needStat) {
            struct stat status {};
            if (fstatat(folderFd, name, &status, 0) != 0) continue;  // gone, or a broken link
            if (!S_ISREG(status.st_mode)) continue;
            if (byDate) listed.step = LocalDateStep(status.st_mtim.tv_sec);
            listed.size = status.st_size;
            if (byDateTaken) listed.rawName = QByteArray(name, qsizetype(length));
            listed.mtimeNs = std::int64_t(status.st_mtim.tv_sec) * 1000000000 +
                             status.st_mtim.tv_nsec;
            listed.modifiedSeconds = status.st_mtim.tv_sec;
        }
        entries.push_back(std::move(listed));
    }
    if (byDateTaken) FillCaptureStamps(folderFd, prefix, entries);

    QCollator collator{QLocale::system()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    // Every entry starts with the same folder prefix, and a fixed-width digit key orders
    // digit by digit, so ordering by (step, collated name) is the order of the collated
    // "key + path" texts while the collator only ever sees the names. Names equal but for case
    // still get a fixed order, so rebuilding the list of an unchanged folder gives the same list.
    std::vector<int> ranks(entries.size());
    for (std::size_t i = 0; i < ranks.size(); ++i)
        ranks[i] = int(i);
    if (collator.locale().language() == QLocale::C) {
        // The C locale's collation is the case-insensitive comparison of code units; its sort
        // keys would not ignore case, and comparing directly needs no key at all.
        std::sort(ranks.begin(), ranks.end(), [&](int a, int b) {
            if (entries[a].step != entries[b].step) return entries[a].step < entries[b].step;
            const int byText =
                QString::compare(entries[a].name, entries[b].name, Qt::CaseInsensitive);
            return byText != 0 ? byText < 0 : entries[a].name < entries[b].name;
        });
    } else {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(entries.size());
        for (const TFolderEntry& entry : entries)
            keys.push_back(collator.sortKey(entry.name));
        std::sort(ranks.begin(), ranks.end(), [&](int a, int b) {
            if (entries[a].step != entries[b].step) return entries[a].step < entries[b].step;
            const int byCollation = keys[a].compare(keys[b]);
            return byCollation != 0 ? byCollation < 0 : entries[a].name < entries[b].name;
        });
    }

    QStringList list;
    list.reserve(qsizetype(ranks.size()));
    for (int rank : ranks)
        list.push_back(prefix + entries[rank].name);
    // A camera's RAW+JPEG pair is one photograph: its JPEG stands for it.
    return OneEntryPerRawJpegPair(list);
}

void ForgetCaptureDates() {
    const std::lock_guard<std::mutex> lock(gCaptureDatesLock);
    gCaptureDates.clear();
}

qsizetype FirstPresentFrom(const QStringList& list, qsizetype from) {
    qsizetype position = from < 0 ? 0 : from;
    while (position < list.size() && FileIsGone(list[position]))
        ++position;
    return position < list.size() ? position : list.size();
}

qsizetype LastPresentUpTo(const QStringList& list, qsizetype from) {
    if (from >= list.size()) return from;
    qsizetype position = from;
    while (position >= 0 && FileIsGone(list[position]))
        --position;
    return position;
}
