// The tone corrections on a 6000 x 4000 image (96 MB), each against a warm memcpy of the same
// raster. Every iteration starts from the same photo-like picture, restored outside the timed
// part, so a correction never measures its own earlier result.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "BenchRatios.h"
#include "app/ui/KelvoImageUnit.h"
#include "image/Bitmap32.h"
#include "tone/PixelFunctions.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneKernels.h"
#include "tone/ToneTables.h"
#include "tone/ui/TrackBarForms.h"
#include "view/ui/ImageView.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth colour fields with grain on top, so that intensities cluster as in a photograph
// rather than spreading evenly as noise does.
const TBitmap32& Photo() {
    static TBitmap32 photo = [] {
        TBitmap32 raster;
        raster.SetSize(kWidth, kHeight);
        std::mt19937 random(13);
        std::uniform_int_distribution<int> grain(-12, 12);
        for (int y = 0; y < kHeight; ++y) {
            TColor32* row = raster.ScanLine(y);
            for (int x = 0; x < kWidth; ++x) {
                const int r = 128 + int(100 * std::sin(x * 0.0011) * std::cos(y * 0.0017));
                const int g = 110 + int(90 * std::sin((x + y) * 0.0009));
                const int b = 90 + int(80 * std::cos(x * 0.0023 - y * 0.0007));
                row[x] = 0xFF000000u |
                         MakeColor(r + grain(random), g + grain(random), b + grain(random));
            }
        }
        return raster;
    }();
    return photo;
}

// The picture a correction works on, restored before each iteration.
TBitmap32& Work() {
    static TBitmap32 work = [] {
        TBitmap32 raster;
        raster.Assign(Photo());
        return raster;
    }();
    return work;
}

template <typename Correction>
void RunOnPhoto(benchmark::State& state, Correction correct) {
    TBitmap32& work = Work();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.Bits(), Photo().Bits(), Photo().ByteCount());
        state.ResumeTiming();
        correct(work);
        benchmark::DoNotOptimize(work.Bits());
    }
}

void BM_ToneMemcpyWarm(benchmark::State& state) {
    const TBitmap32& source = Photo();
    std::vector<TColor32> target(source.PixelCount());
    for (auto _ : state) {
        std::memcpy(target.data(), source.Bits(), source.ByteCount());
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_ToneMemcpyWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToneComputeHistogram(benchmark::State& state) {
    IntensityHistogram histogram;
    for (auto _ : state) {
        ComputeHistogram(Photo(), histogram);
        benchmark::DoNotOptimize(histogram.data());
    }
}
BENCHMARK(BM_ToneComputeHistogram)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneComputeHistogram", "BM_ToneMemcpyWarm", 2.0);

void BM_ToneApplyTransfer(benchmark::State& state) {
    IntensityHistogram histogram;
    ComputeHistogram(Photo(), histogram);
    TransferTable table;
    BuildContrastTable(histogram, SliderFactor(40), table);
    RunOnPhoto(state, [&table](TBitmap32& image) { ApplyTransfer(image, table); });
}
BENCHMARK(BM_ToneApplyTransfer)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneApplyTransfer", "BM_ToneMemcpyWarm", 2.5);

void BM_ToneBrightness(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { AdjustBrightness(image, 25); });
}
BENCHMARK(BM_ToneBrightness)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneBrightness", "BM_ToneMemcpyWarm", 2.5);

// A move of the brightness slider: the kept source scaled into the current image in one pass
// and the histogram of the result; the source's histogram is counted when the window opens,
// not at each move.
void BM_ToneBrightnessReapply(benchmark::State& state) {
    TToneGraphs graphs;
    AdjustBrightness(Photo(), Work(), 25, &graphs);
    for (auto _ : state) {
        AdjustBrightness(Photo(), Work(), 25, &graphs);
        benchmark::DoNotOptimize(Work().Bits());
    }
}
BENCHMARK(BM_ToneBrightnessReapply)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneBrightnessReapply", "BM_ToneMemcpyWarm", 3.5);

// The pixel work of "&Linear" as the window runs it: the image's store becomes the undo
// snapshot (the snapshot's store, of the same size, becomes the image's), then the histogram
// of the snapshot, the table, and the transfer from the snapshot into the image with the
// histogram after (plotting not included).
void BM_ToneLinearCommand(benchmark::State& state) {
    TBitmap32 snapshot;
    snapshot.Assign(Photo());
    RunOnPhoto(state, [&](TBitmap32& image) {
        TToneGraphs graphs;
        image.Swap(snapshot);
        EqualizeHistogram(snapshot, image, &graphs);
    });
}
BENCHMARK(BM_ToneLinearCommand)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneLinearCommand", "BM_ToneMemcpyWarm", 4.5);

void BM_ToneContrastStretch(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { ContrastStretch(image); });
}
BENCHMARK(BM_ToneContrastStretch)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneContrastStretch", "BM_ToneMemcpyWarm", 3.5);

void BM_ToneNegative(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { Negative(image); });
}
BENCHMARK(BM_ToneNegative)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneNegative", "BM_ToneMemcpyWarm", 1.5);

void BM_ToneWashout(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { Washout(image); });
}
BENCHMARK(BM_ToneWashout)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWashout", "BM_ToneMemcpyWarm", 2.5);

void BM_ToneIsoBrightness64(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { IsoBrightness(image, 64); });
}
BENCHMARK(BM_ToneIsoBrightness64)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneIsoBrightness64", "BM_ToneMemcpyWarm", 2.5);

void BM_ToneBlackAndWhite(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { BlackAndWhite(image, 128); });
}
BENCHMARK(BM_ToneBlackAndWhite)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneBlackAndWhite", "BM_ToneMemcpyWarm", 2.5);

const TColor32 kReference = MakeColor(180, 150, 120);

void BM_ToneMakeWhite(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { MakeWhite(image, kReference); });
}
BENCHMARK(BM_ToneMakeWhite)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneMakeWhite", "BM_ToneMemcpyWarm", 3.0);

void BM_ToneRemoveColorCast(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { RemoveColorCast(image, kReference); });
}
BENCHMARK(BM_ToneRemoveColorCast)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneRemoveColorCast", "BM_ToneMemcpyWarm", 3.0);

void BM_ToneMakeBlackWhite(benchmark::State& state) {
    RunOnPhoto(state,
               [](TBitmap32& image) { MakeBlackWhite(image, MakeColor(20, 30, 10), kReference); });
}
BENCHMARK(BM_ToneMakeBlackWhite)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneMakeBlackWhite", "BM_ToneMemcpyWarm", 3.0);

void BM_ToneMakeGrey(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { MakeGrey(image, kReference); });
}
BENCHMARK(BM_ToneMakeGrey)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneMakeGrey", "BM_ToneMemcpyWarm", 3.0);

void BM_ToneMakeBlack(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { MakeBlack(image, MakeColor(60, 50, 40)); });
}
BENCHMARK(BM_ToneMakeBlack)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneMakeBlack", "BM_ToneMemcpyWarm", 3.0);

// The subtraction and the equalisation that follows it.
void BM_ToneSubtract(benchmark::State& state) {
    RunOnPhoto(state, [](TBitmap32& image) { Subtract(image, MakeColor(40, 30, 20)); });
}
BENCHMARK(BM_ToneSubtract)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneSubtract", "BM_ToneMemcpyWarm", 3.0);

// ---- the commands as the main window runs them ----
// From the menu item's handler on: the edit step with its snapshot, the histograms, the table,
// the pixels and the series of the graph window (their drawing waits for the event loop, which
// these loops never enter). The program folder and the slider settings are temporary.

class TToneWindow {
  public:
    TToneWindow() : FConfig(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", FDir.path().toUtf8());
        QFile settings(FDir.filePath(QStringLiteral("KelvoImage.Ini")));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Asked]\nRegister=1\n[Image]\nOneToOne=No\n");
        settings.close();
        Form = std::make_unique<TKelvoImageForm>(FDir.path() + QLatin1Char('/'), QStringList{});
        Form->CreateToolWindows();
        Form->show();
        Form->Image->Bitmap().Assign(Photo());
    }
    ~TToneWindow() {
        Form.reset();
        qputenv("XDG_CONFIG_HOME", FConfig);
    }
    TBitmap32& Image() { return Form->Image->Bitmap(); }

    std::unique_ptr<TKelvoImageForm> Form;

  private:
    QTemporaryDir FDir;
    QByteArray FConfig;
};

template <typename Command>
void RunCommandOnPhoto(benchmark::State& state, Command command) {
    TToneWindow window;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(window.Image().Bits(), Photo().Bits(), Photo().ByteCount());
        state.ResumeTiming();
        command(*window.Form);
        benchmark::DoNotOptimize(window.Image().Bits());
    }
}

void BM_ToneWindowLinear(benchmark::State& state) {
    RunCommandOnPhoto(state, [](TKelvoImageForm& form) { form.LinearBrighten1Click(); });
}
BENCHMARK(BM_ToneWindowLinear)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowLinear", "BM_ToneMemcpyWarm", 4.5);

void BM_ToneWindowContrastStretch(benchmark::State& state) {
    RunCommandOnPhoto(state, [](TKelvoImageForm& form) { form.ContrastStretch1Click(); });
}
BENCHMARK(BM_ToneWindowContrastStretch)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowContrastStretch", "BM_ToneMemcpyWarm", 4.5);

void BM_ToneWindowNegative(benchmark::State& state) {
    RunCommandOnPhoto(state, [](TKelvoImageForm& form) { form.Negative1Click(); });
}
BENCHMARK(BM_ToneWindowNegative)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowNegative", "BM_ToneMemcpyWarm", 4.5);

void BM_ToneWindowIsoBrightness64(benchmark::State& state) {
    RunCommandOnPhoto(state, [](TKelvoImageForm& form) { form.IsoBrightness64Click(); });
}
BENCHMARK(BM_ToneWindowIsoBrightness64)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowIsoBrightness64", "BM_ToneMemcpyWarm", 4.5);

void BM_ToneWindowWashout(benchmark::State& state) {
    RunCommandOnPhoto(state, [](TKelvoImageForm& form) { form.Washout1Click(); });
}
BENCHMARK(BM_ToneWindowWashout)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowWashout", "BM_ToneMemcpyWarm", 4.5);

// A slider move: the command run from the window's tick, starting again from the kept source.
// Alternate positions, so that no iteration repeats the one before.
template <typename Open>
void RunSliderReapply(benchmark::State& state, Open open, void (TKelvoImageForm::*reapply)(),
                      int first, int second) {
    TToneWindow window;
    TTrackBarToolForm& slider = open(*window.Form);
    slider.Timer1->stop();
    slider.TrackBar1->blockSignals(true);
    bool flip = false;
    for (auto _ : state) {
        slider.TrackBar1->setValue((flip = !flip) ? first : second);
        ((*window.Form).*reapply)();
        benchmark::DoNotOptimize(window.Image().Bits());
    }
}

void BM_ToneWindowBrightnessMove(benchmark::State& state) {
    RunSliderReapply(
        state,
        [](TKelvoImageForm& form) -> TTrackBarToolForm& {
            form.Brightness1Click();
            return *form.BrightnessTrackBarForm;
        },
        &TKelvoImageForm::Brightness1Click, 25, -25);
}
BENCHMARK(BM_ToneWindowBrightnessMove)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowBrightnessMove", "BM_ToneMemcpyWarm", 3.5);

void BM_ToneWindowContrastMove(benchmark::State& state) {
    RunSliderReapply(
        state,
        [](TKelvoImageForm& form) -> TTrackBarToolForm& {
            form.Contrast1Click();
            return *form.ContrastTrackBarForm;
        },
        &TKelvoImageForm::Contrast1Click, 25, -25);
}
BENCHMARK(BM_ToneWindowContrastMove)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowContrastMove", "BM_ToneMemcpyWarm", 4.5);

void BM_ToneWindowBlackAndWhiteMove(benchmark::State& state) {
    RunSliderReapply(
        state,
        [](TKelvoImageForm& form) -> TTrackBarToolForm& {
            form.MakeBlackandWhite1Click();
            return *form.BWTrackBarForm;
        },
        &TKelvoImageForm::MakeBlackandWhite1Click, 120, 140);
}
BENCHMARK(BM_ToneWindowBlackAndWhiteMove)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_ToneWindowBlackAndWhiteMove", "BM_ToneMemcpyWarm", 3.5);

}  // namespace

// The two forms of the transfer loop side by side, to see which one suits this processor.
namespace {
void TransferFactors(double* factors) {
    IntensityHistogram histogram;
    ComputeHistogram(Photo(), histogram);
    TransferTable table;
    BuildContrastTable(histogram, SliderFactor(40), table);
    for (int s = 0; s < 766; ++s)
        factors[s] = (table[s] + 1.0) / (s + 1.0);
}
void BM_ToneTransferPortable(benchmark::State& state) {
    double factors[766];
    TransferFactors(factors);
    RunOnPhoto(state, [&](TBitmap32& image) {
        tonekernels::ApplyIntensityFactorsPortable(image.Bits(), image.PixelCount(), factors);
    });
}
BENCHMARK(BM_ToneTransferPortable)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_ToneTransferVector(benchmark::State& state) {
    double factors[766];
    TransferFactors(factors);
    RunOnPhoto(state, [&](TBitmap32& image) {
        tonekernels::ApplyIntensityFactorsVector(image.Bits(), image.PixelCount(), factors);
    });
}
BENCHMARK(BM_ToneTransferVector)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
