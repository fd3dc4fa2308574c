// Opening a 24-megapixel photograph in the main window, from the start of LoadImageFile to the
// end of the first paint in Fit mode, against the bare decode of the same file. Everything the
// window adds (sizing, caption, scaling for the screen) is the difference.
//
// The first paint is the reduced decode's (1/4 of the photograph fitted into the offscreen
// screen); BM_LoadToFirstPaintWhole is the same load with the photograph decoded whole first,
// as before the reduced decode, and BM_LoadToFullPicture runs on until the full decode is
// swapped in and painted, the time to every pixel.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "app/ui/KelvoImageUnit.h"
#include "image/ImageLoader.h"
#include "view/ui/ImageView.h"

namespace {

void BM_BareDecode(benchmark::State& state) {
    const QString name = BenchPhotoFile();
    TBitmap32 image;
    LoadImageFromFile(name, image);
    for (auto _ : state) {
        LoadImageFromFile(name, image);
        benchmark::DoNotOptimize(image.Bits());
    }
}
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reduced decode alone, at 1/2, 1/4 and 1/8 (shown at that size).
void BM_ReducedDecode(benchmark::State& state) {
    const QString name = BenchPhotoFile();
    const int scale = int(state.range(0));
    const auto shown = [scale](QSize full) { return full / scale; };
    for (auto _ : state) {
        TReducedPhoto reduced;
        if (!LoadReducedPhoto(name, true, shown, reduced))
            return state.SkipWithError("the photograph was not decoded reduced");
        benchmark::DoNotOptimize(reduced.Picture.Bits());
    }
}
BENCHMARK(BM_ReducedDecode)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// A window in Fit mode, started as the program starts it on a later run, with the photograph
// loaded once.
class TFitWindow {
  public:
    explicit TFitWindow(bool reducedFirst) {
        {
            // A later start in Fit mode: no registration questions, no dialogs.
            QFile settings(FExeDir.filePath(QStringLiteral("KelvoImage.Ini")));
            settings.open(QIODevice::WriteOnly);
            settings.write("[Asked]\nRegister=1\n[Image]\nOneToOne=No\n");
        }
        FForm = std::make_unique<TKelvoImageForm>(FExeDir.path() + QLatin1Char('/'), QStringList());
        FForm->show();
        FForm->Fit1Click();
        FForm->Image->SetReducedDecodeFirst(reducedFirst);
        FForm->LoadImageFile(BenchPhotoFile());
        FForm->Image->repaint();
        FForm->Image->FinishFullDecode();
    }
    TKelvoImageForm& Form() { return *FForm; }

  private:
    QTemporaryDir FExeDir;
    std::unique_ptr<TKelvoImageForm> FForm;
};

void MeasureLoad(benchmark::State& state, bool reducedFirst, bool toFullPicture) {
    const QString name = BenchPhotoFile();
    TFitWindow window(reducedFirst);
    TKelvoImageForm& form = window.Form();
    for (auto _ : state) {
        form.LoadImageFile(name);
        form.Image->repaint();  // paints synchronously, as the first paint after a load does
        if (toFullPicture) {
            form.Image->FinishFullDecode();
            form.Image->repaint();
        }
    }
    // Not timed: the next load starts with no full decode running, as a load after a pause.
    form.Image->FinishFullDecode();
}

void BM_LoadToFirstPaint(benchmark::State& state) {
    MeasureLoad(state, true, false);
}
BENCHMARK(BM_LoadToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadToFirstPaintWhole(benchmark::State& state) {
    MeasureLoad(state, false, false);
}
BENCHMARK(BM_LoadToFirstPaintWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadToFullPicture(benchmark::State& state) {
    MeasureLoad(state, true, true);
}
BENCHMARK(BM_LoadToFullPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_LoadToFirstPaintWhole", "BM_BareDecode", 1.25);
// The reduced decode's first paint against the whole decode's: the picture on screen in half
// the time or less.
KELVO_RATIO("BM_LoadToFirstPaint", "BM_LoadToFirstPaintWhole", 0.5);
// Every pixel on screen, smooth copy included: the reduced decode, the thread's start and the
// full picture's smooth copy come on top of the whole decode's first paint.
KELVO_RATIO("BM_LoadToFullPicture", "BM_LoadToFirstPaintWhole", 2.5);

}  // namespace
