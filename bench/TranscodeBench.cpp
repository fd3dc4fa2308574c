// A point operation from a 6000x4000 JPEG to a JPEG, as kelvoimage-cli --negative runs it: a
// band of rows at a time, against the whole-picture path (load, the operation on the raster,
// save) writing the same file. Both commit their file; it goes to /dev/shm where there is one,
// so that the disk's flush does not drown the difference. The band path's point is its few
// megabytes instead of the raster: within one process, where the freed raster's pages come
// back cheaply, both take about the same time, and the bands must not cost more (the target
// leaves room for noise). The tool gains more: each run of it faults its raster in afresh.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegTranscode.h"
#include "tone/ToneCorrections.h"

namespace {

QString OutputName() {
    const QString folder = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                               ? QStringLiteral("/dev/shm")
                               : QDir::tempPath();
    return folder + QStringLiteral("/kelvo-transcode-bench.jpg");
}

void BM_TranscodeNegativeInBands(benchmark::State& state) {
    const QString input = BenchPhotoFile();
    const TPixelOperation negative[] = {[](TBitmap32& band) { Negative(band); }};
    for (auto _ : state)
        TranscodeJpegInBands(input, OutputName(), 95, negative, true);
    QFile::remove(OutputName());
}
BENCHMARK(BM_TranscodeNegativeInBands)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TranscodeNegativeWhole(benchmark::State& state) {
    const QString input = BenchPhotoFile();
    for (auto _ : state) {
        TBitmap32 image;  // a new raster each time, as each run of the tool has
        const TKeptMetadata kept = LoadPhotoFromFile(input, image, false);
        Negative(image);
        WriteImageFile(OutputName(), image, 95, kept);
    }
    QFile::remove(OutputName());
}
BENCHMARK(BM_TranscodeNegativeWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_TranscodeNegativeInBands", "BM_TranscodeNegativeWhole", 1.05);

}  // namespace
