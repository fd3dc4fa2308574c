// Building the folder image list of a 10,000-file folder, by name and by date, against a bare
// listing of the same folder that only collects the names; and a card of 500 JPEGs by date
// taken against the same card by modification time. The folder is made once, with mixed
// endings, cases and times, and every run reads it from the warm directory cache.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BenchRatios.h"
#include "browse/FolderList.h"
#include "image/Bitmap32.h"
#include "image/ImageSaver.h"

#include <exiv2/exiv2.hpp>

namespace {

constexpr int kFileCount = 10000;

const QString& Folder() {
    static QTemporaryDir dir;
    static const bool made = [] {
        if (!dir.isValid()) return false;
        std::mt19937 random(3);
        const char* endings[] = {".jpg", ".JPG", ".Jpg", ".jpg", ".jpg",
                                 ".png", ".gif", ".bmp", ".tif", ".txt"};
        const char* stems[] = {"IMG_", "DSC", "holiday ", "Scan-", "photo_", "img"};
        for (int i = 0; i < kFileCount; ++i) {
            // Even files are JPEGs, the rest spread over the other endings.
            const char* ending = i % 2 == 0 ? endings[random() % 5] : endings[5 + random() % 5];
            const std::string name = std::string(stems[random() % 6]) +
                                     std::to_string(random() % 100000) + "_" + std::to_string(i) +
                                     ending;
            const QByteArray path = QFile::encodeName(dir.filePath(QString::fromStdString(name)));
            const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) return false;
            close(fd);
            const time_t when = time_t(1100000000 + random() % 600000000);
            const timespec times[2] = {{when, 0}, {when, 0}};
            utimensat(AT_FDCWD, path.constData(), times, 0);
        }
        return true;
    }();
    static const QString path = made ? dir.path() : QString();
    return path;
}

void BM_BareListing(benchmark::State& state) {
    const QByteArray folder = QFile::encodeName(Folder());
    if (folder.isEmpty()) return state.SkipWithError("cannot make the folder");
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* directory = opendir(folder.constData());
        while (const dirent* entry = readdir(directory))
            names.emplace_back(entry->d_name);
        closedir(directory);
        benchmark::DoNotOptimize(names.data());
    }
}
BENCHMARK(BM_BareListing)->Unit(benchmark::kMillisecond)->UseRealTime();

// The date order cannot do without each file's time, which no listing call returns; this is the
// floor for it: the bare listing plus one stat for each name.
void BM_ListingWithStat(benchmark::State& state) {
    const QByteArray folder = QFile::encodeName(Folder());
    if (folder.isEmpty()) return state.SkipWithError("cannot make the folder");
    for (auto _ : state) {
        std::vector<std::pair<std::string, time_t>> names;
        DIR* directory = opendir(folder.constData());
        while (const dirent* entry = readdir(directory)) {
            struct stat status {};
            if (fstatat(dirfd(directory), entry->d_name, &status, 0) == 0)
                names.emplace_back(entry->d_name, status.st_mtim.tv_sec);
        }
        closedir(directory);
        benchmark::DoNotOptimize(names.data());
    }
}
BENCHMARK(BM_ListingWithStat)->Unit(benchmark::kMillisecond)->UseRealTime();

void ListFolder(benchmark::State& state, TFolderOrder order) {
    if (Folder().isEmpty()) return state.SkipWithError("cannot make the folder");
    qsizetype count = 0;
    for (auto _ : state) {
        const QStringList list = CollectFolderImages(Folder(), order);
        count = list.size();
        benchmark::DoNotOptimize(list.constData());
    }
    state.counters["entries"] = double(count);
}

void BM_ListByName(benchmark::State& state) {
    ListFolder(state, TFolderOrder::ByName);
}
BENCHMARK(BM_ListByName)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ListByName", "BM_BareListing", 3.0);

void BM_ListByDate(benchmark::State& state) {
    ListFolder(state, TFolderOrder::ByDate);
}
BENCHMARK(BM_ListByDate)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ListByDate", "BM_BareListing", 3.0);
KELVO_RATIO("BM_ListByDate", "BM_ListingWithStat", 1.5);

// A card of 500 camera-like JPEGs (a 640x480 picture, EXIF with a 4 KB maker-note-sized block
// and a capture date each), their modification times in another order than their dates.
constexpr int kCardCount = 500;

const QString& Card() {
    static QTemporaryDir dir;
    static const bool made = [] {
        if (!dir.isValid()) return false;
        TBitmap32 picture;
        picture.SetSize(640, 480);
        picture.Clear(0xFF607080u);
        const QString first = dir.filePath(QStringLiteral("template.jpg"));
        WriteImageFile(first, picture, 90);
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(first).toStdString());
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.Make"] = "Kelvo";
        exif["Exif.Image.Model"] = "Bench Camera";
        exif["Exif.Photo.DateTimeOriginal"] = "2024:06:01 10:00:00";
        exif["Exif.Photo.SubSecTimeOriginal"] = "00";
        exif["Exif.Photo.UserComment"] = std::string(4096, 'm');
        image->writeMetadata();
        QFile templateFile(first);
        if (!templateFile.open(QIODevice::ReadOnly)) return false;
        const QByteArray bytes = templateFile.readAll();
        templateFile.close();
        QFile::remove(first);
        const qsizetype dateAt = bytes.indexOf("2024:06:01 10:00:00");
        if (dateAt < 0) return false;
        std::mt19937 random(5);
        for (int i = 0; i < kCardCount; ++i) {
            QByteArray copy = bytes;
            char date[32];
            std::snprintf(date, sizeof date, "2024:06:%02d %02d:%02d:%02d", 1 + int(random() % 28),
                          int(random() % 24), int(random() % 60), int(random() % 60));
            copy.replace(dateAt, 19, date);
            const QString path = dir.filePath(QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(copy) != copy.size()) return false;
            file.close();
            const time_t when = time_t(1700000000 + random() % 1000000);
            const timespec times[2] = {{when, 0}, {when, 0}};
            utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
        }
        return true;
    }();
    static const QString path = made ? dir.path() : QString();
    return path;
}

void ListCard(benchmark::State& state, TFolderOrder order, bool cached) {
    if (Card().isEmpty()) return state.SkipWithError("cannot make the card");
    CollectFolderImages(Card(), order);  // the files' bytes in the page cache, as after a first look
    for (auto _ : state) {
        if (!cached) ForgetCaptureDates();
        const QStringList list = CollectFolderImages(Card(), order);
        benchmark::DoNotOptimize(list.constData());
    }
}

void BM_Card500ByModificationTime(benchmark::State& state) {
    ListCard(state, TFolderOrder::ByDate, false);
}
BENCHMARK(BM_Card500ByModificationTime)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every file's capture date read anew, as on the first "Start by Date" of a session.
void BM_Card500ByDateTaken(benchmark::State& state) {
    ListCard(state, TFolderOrder::ByDateTaken, false);
}
BENCHMARK(BM_Card500ByDateTaken)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Card500ByDateTaken", "BM_Card500ByModificationTime", 3.0);

// Again in the same session: the dates come from the cache.
void BM_Card500ByDateTakenAgain(benchmark::State& state) {
    ListCard(state, TFolderOrder::ByDateTaken, true);
}
BENCHMARK(BM_Card500ByDateTakenAgain)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_Card500ByDateTakenAgain", "BM_Card500ByModificationTime", 1.5);

}  // namespace
