// Opening a 24-megapixel photograph in the main window, from the start of LoadImageFile to the
// end of the first paint in Fit mode, against the bare decode of the same file. Everything the
// window adds (sizing, caption, scaling for the screen) is the difference.

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

void BM_LoadToFirstPaint(benchmark::State& state) {
    const QString name = BenchPhotoFile();
    QTemporaryDir exeDir;
    {
        // A later start in Fit mode: no registration questions, no dialogs.
        QFile settings(exeDir.filePath(QStringLiteral("KelvoImage.Ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Asked]\nRegister=1\n[Image]\nOneToOne=No\n");
    }
    TKelvoImageForm form(exeDir.path() + QLatin1Char('/'), {});
    form.show();
    form.Fit1Click();
    form.LoadImageFile(name);
    form.Image->repaint();
    for (auto _ : state) {
        form.LoadImageFile(name);
        form.Image->repaint();  // paints synchronously, as the first paint after a load does
    }
}
BENCHMARK(BM_LoadToFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_LoadToFirstPaint", "BM_BareDecode", 1.25);

}  // namespace
