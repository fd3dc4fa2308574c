// One "Next" through a folder of 24-megapixel photographs, with the paint that follows it,
// against the bare decode of the same file (BM_BareDecode, LoadToPaintBench.cpp). Stepping
// adds the list bookkeeping, the caption and toolbar refresh and the pointer move to the load.
//
// Three cases: a step with nothing read ahead (the decode happens after the key press); a step
// after the user has dwelt on the photo for at least one decode time (the read-ahead is done,
// the step only swaps the picture in and paints); and the worst case, "Next" pressed again at
// once, the read-ahead just begun (a held key: the reduced decode read ahead is shown; before
// it, each step waited for the whole decode, BM_NextAtOnceWhole). Then the slideshow at 100 ms
// over 20 photographs, and two decodes side by side on the machine's two cores.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <thread>

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "app/ui/KelvoImageUnit.h"
#include "browse/ReadAhead.h"
#include "image/ImageLoader.h"
#include "view/ui/ImageView.h"

namespace {

// A folder of links to the shared photograph, so every step decodes a full file, and a window
// in Fit mode with the toolbar on.
class TBenchFolder {
  public:
    explicit TBenchFolder(int entries) {
        for (int i = 0; i < entries; ++i) {
            const QString entry =
                FDir.filePath(QStringLiteral("p%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
            if (!QFile::link(BenchPhotoFile(), entry)) return;
            FEntries.append(entry);
        }
        QFile settings(FDir.filePath(QStringLiteral("KelvoImage.Ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Asked]\nRegister=1\n[Image]\nOneToOne=No\n[Pelly]\nTools=Yes\n");
        settings.close();
        FForm = std::make_unique<TKelvoImageForm>(FDir.path() + QLatin1Char('/'), QStringList());
        FForm->show();
        FForm->Fit1Click();
        FForm->FFileList = FEntries;
        FForm->FFileIndex = 0;
        FForm->LoadImageFile(FEntries[0]);
        FForm->Image->repaint();
    }
    bool Ready() const { return FForm != nullptr; }
    TKelvoImageForm& Form() { return *FForm; }

  private:
    QTemporaryDir FDir;
    QStringList FEntries;
    std::unique_ptr<TKelvoImageForm> FForm;
};

// "Next" from the first photo to the second with the paint that follows it, timed; before each
// step, untimed, `prepare` puts the read-ahead in the state the case is about.
// reducedFirst off: every picture is decoded whole, as before the reduced decode.
template <typename Prepare>
void MeasureNext(benchmark::State& state, Prepare prepare, bool reducedFirst = true) {
    TBenchFolder folder(2);
    if (!folder.Ready()) return state.SkipWithError("cannot link the photograph into the folder");
    TKelvoImageForm& form = folder.Form();
    form.Image->SetReducedDecodeFirst(reducedFirst);
    for (auto _ : state) {
        state.PauseTiming();
        form.FFileIndex = 0;
        prepare(form);
        state.ResumeTiming();
        form.Next1Click();
        form.Image->repaint();
    }
    if (form.FFileIndex != 1) state.SkipWithError("Next did not step");
}

void BM_NextStep(benchmark::State& state) {
    MeasureNext(state, [](TKelvoImageForm& form) { form.FReadAhead->Cancel(); });
}
BENCHMARK(BM_NextStep)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NextAfterDwell(benchmark::State& state) {
    MeasureNext(state, [](TKelvoImageForm& form) {
        form.ReadAheadEntry(1);
        form.FReadAhead->WaitUntilIdle();  // the user looks at the photo for a while
    });
}
BENCHMARK(BM_NextAfterDwell)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NextAtOnce(benchmark::State& state) {
    MeasureNext(state, [](TKelvoImageForm& form) {
        form.FReadAhead->Cancel();
        form.FReadAhead->WaitUntilIdle();
        // The read-ahead the previous step began, and "Next" again before it is done.
        form.ReadAheadEntry(1);
    });
}
BENCHMARK(BM_NextAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// The held key before the reduced decode: each step waits for the whole decode read ahead.
void BM_NextAtOnceWhole(benchmark::State& state) {
    MeasureNext(
        state,
        [](TKelvoImageForm& form) {
            form.FReadAhead->Cancel();
            form.FReadAhead->WaitUntilIdle();
            form.ReadAheadEntry(1);
        },
        false);
}
BENCHMARK(BM_NextAtOnceWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

// The show at 100 ms over 20 photographs, on the real event loop with its paints. A photo is
// late when it comes more than half an interval after its due time (one interval after the one
// before it); the counters give how many of the 20 were late, with the read-ahead and without.
void BM_Slideshow100ms(benchmark::State& state) {
    const bool readAhead = state.range(0) != 0;
    constexpr int kPhotos = 20;
    constexpr int kInterval = 100;
    TBenchFolder folder(kPhotos);
    if (!folder.Ready()) return state.SkipWithError("cannot link the photograph into the folder");
    TKelvoImageForm& form = folder.Form();
    if (!readAhead)
        form.FReadAhead =
            std::make_unique<TReadAhead>(TReadAhead::TDecoder{}, [] { return std::int64_t(0); });
    int late = 0;
    double worstMs = 0;
    for (auto _ : state) {
        late = 0;
        worstMs = 0;
        form.FFileIndex = 0;
        form.FMovieFailures.clear();
        QElapsedTimer clock;
        QList<qint64> shownAt;
        QEventLoop loop;
        // Runs after the show's own tick, which was connected first.
        const QMetaObject::Connection watch =
            QObject::connect(form.MovieTimer, &QTimer::timeout, &loop, [&] {
                form.Image->repaint();
                shownAt.append(clock.elapsed());
                if (shownAt.size() == kPhotos) loop.quit();
            });
        form.MovieTimer->setInterval(kInterval);
        form.FMoviePlaying = true;
        clock.start();
        form.MovieTimer->start();
        loop.exec();
        form.FMoviePlaying = false;
        form.MovieTimer->stop();
        QObject::disconnect(watch);
        // The first photo is shown at the first tick; each later one is due an interval on.
        for (int i = 1; i < shownAt.size(); ++i) {
            const double due = double(shownAt[0]) + double(i) * kInterval;
            const double behind = double(shownAt[i]) - due;
            worstMs = std::max(worstMs, behind);
            if (behind > kInterval / 2.0) ++late;
        }
    }
    state.counters["late"] = late;
    state.counters["worst_behind_ms"] = worstMs;
}
BENCHMARK(BM_Slideshow100ms)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("readahead")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Two decodes of the photograph at once, one per core: whether the second core gives a second
// decode for free (ratio near 1) or the two fight over memory bandwidth (ratio near 2).
void BM_TwoDecodesAtOnce(benchmark::State& state) {
    const QString name = BenchPhotoFile();
    TBitmap32 first;
    TBitmap32 second;
    LoadImageFromFile(name, first);
    LoadImageFromFile(name, second);
    for (auto _ : state) {
        std::thread other([&] { LoadImageFromFile(name, second); });
        LoadImageFromFile(name, first);
        other.join();
        benchmark::DoNotOptimize(first.Bits());
        benchmark::DoNotOptimize(second.Bits());
    }
}
BENCHMARK(BM_TwoDecodesAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_NextStep", "BM_BareDecode", 1.25);
KELVO_RATIO("BM_NextAfterDwell", "BM_BareDecode", 0.15);
KELVO_RATIO("BM_NextAtOnceWhole", "BM_BareDecode", 1.1);
// A held key steps through reduced pictures in half the time or less.
KELVO_RATIO("BM_NextAtOnce", "BM_NextAtOnceWhole", 0.5);
KELVO_RATIO("BM_TwoDecodesAtOnce", "BM_BareDecode", 1.3);

}  // namespace
