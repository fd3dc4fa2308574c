// One "Next" through a folder of 24-megapixel photographs, with the paint that follows it,
// against the bare decode of the same file (BM_BareDecode, LoadToPaintBench.cpp). Stepping
// adds the list bookkeeping, the caption and toolbar refresh and the pointer move to the load.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "BenchPhoto.h"
#include "BenchRatios.h"
#include "app/ui/KelvoImageUnit.h"
#include "view/ui/ImageView.h"

namespace {

void BM_NextStep(benchmark::State& state) {
    QTemporaryDir dir;
    // Two entries, both the shared photograph, so every step decodes a full file.
    const QString first = dir.filePath(QStringLiteral("a.jpg"));
    const QString second = dir.filePath(QStringLiteral("b.jpg"));
    if (!QFile::link(BenchPhotoFile(), first) || !QFile::link(BenchPhotoFile(), second)) {
        state.SkipWithError("cannot link the photograph into the folder");
        return;
    }
    {
        QFile settings(dir.filePath(QStringLiteral("KelvoImage.Ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Asked]\nRegister=1\n[Image]\nOneToOne=No\n[Pelly]\nTools=Yes\n");
    }
    TKelvoImageForm form(dir.path() + QLatin1Char('/'), {});
    form.show();
    form.Fit1Click();
    form.FFileList = {first, second};
    form.FFileIndex = 0;
    form.LoadImageFile(first);
    form.Image->repaint();
    for (auto _ : state) {
        form.FFileIndex = 0;
        form.Next1Click();
        form.Image->repaint();
    }
    if (form.FFileIndex != 1) state.SkipWithError("Next did not step");
}
BENCHMARK(BM_NextStep)->Unit(benchmark::kMillisecond)->UseRealTime();

KELVO_RATIO("BM_NextStep", "BM_BareDecode", 1.25);

}  // namespace
