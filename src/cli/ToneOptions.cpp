#include <cstdio>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneTables.h"

namespace {

// A reference pixel named on the command line. It is looked up when its step runs, in the
// picture as the earlier steps left it.
struct TPoint {
    int X = 0;
    int Y = 0;
};

TPoint ParsePoint(const QString& text, const char* what) {
    const std::vector<int> values = ParseIntegerList(text, what, 2);
    return {values[0], values[1]};
}

TColor32 PixelAt(const TBitmap32& image, TPoint point, const char* what) {
    if (!image.Contains(point.X, point.Y))
        throw KelvoError(QStringLiteral("The %1 pixel %2,%3 lies outside the %4 x %5 image")
                             .arg(QLatin1String(what))
                             .arg(point.X)
                             .arg(point.Y)
                             .arg(image.Width())
                             .arg(image.Height()));
    return image.GetPixel(point.X, point.Y);
}

// A whole-image command run without its graphs; the fixed effects change each pixel by itself
// alone (point operations), the table commands do not.
template <void (*Operation)(TBitmap32&, TToneGraphs*), bool Point = false>
void PushGraphed(TCliJob& job) {
    job.Operations.push_back({[](TBitmap32& image) { Operation(image, nullptr); }, Point});
}

// A correction from one reference pixel; what it computes besides the pixels is not kept.
template <auto Correction>
void PushReferenced(TCliJob& job, const QString& value, const char* what) {
    const TPoint point = ParsePoint(value, what);
    job.Operations.push_back(
        {[point, what](TBitmap32& image) { Correction(image, PixelAt(image, point, what)); }});
}

void SubtractAt(TBitmap32& image, TColor32 reference) {
    Subtract(image, reference);
}

void PrintHistogram(const TCliJob&, const TBitmap32& image) {
    IntensityHistogram histogram;
    ComputeHistogram(image, histogram);
    for (std::int32_t count : histogram)
        std::printf("%d\n", int(count));
}

const TCliOption kToneOptions[] = {
    {"--linear", PushGraphed<EqualizeHistogram>, nullptr, "histogram equalisation of intensity"},
    {"--contrast-stretch", PushGraphed<ContrastStretch>, nullptr,
     "stretch linearly, clipping 5 % at each end"},
    {"--brightness", nullptr,
     [](TCliJob& job, const QString& value) {
         const int position = ParseInteger(value, "brightness", -100, 100);
         // One scale table, the same for every pixel.
         job.Operations.push_back(
             PointOperation([position](TBitmap32& image) { AdjustBrightness(image, position); }));
     },
     "N: brightness slider position, -100 to 100"},
    {"--contrast", nullptr,
     [](TCliJob& job, const QString& value) {
         const int position = ParseInteger(value, "contrast", -100, 100);
         job.Operations.push_back(
             {[position](TBitmap32& image) { AdjustContrast(image, position); }});
     },
     "N: contrast slider position, -100 to 100"},
    {"--histogram", [](TCliJob& job) { SetReport(job, "--histogram", PrintHistogram); }, nullptr,
     "print the result's 769 intensity counts", TCliGroup::Information},
    {"--make-white", nullptr,
     [](TCliJob& job, const QString& value) { PushReferenced<MakeWhite>(job, value, "white"); },
     "X,Y: make the pixel at X,Y white, one gain each"},
    {"--remove-cast", nullptr,
     [](TCliJob& job, const QString& value) {
         PushReferenced<RemoveColorCast>(job, value, "colour-cast");
     },
     "X,Y: make the pixel at X,Y grey, one gain each"},
    {"--make-black-white", nullptr,
     [](TCliJob& job, const QString& value) {
         const std::vector<int> v = ParseIntegerList(value, "black and white pixels", 4);
         const TPoint black{v[0], v[1]};
         const TPoint white{v[2], v[3]};
         job.Operations.push_back({[black, white](TBitmap32& image) {
             MakeBlackWhite(image, PixelAt(image, black, "black"), PixelAt(image, white, "white"));
         }});
     },
     "BX,BY,WX,WY: map BX,BY to black and WX,WY to white"},
    {"--make-grey", nullptr,
     [](TCliJob& job, const QString& value) { PushReferenced<MakeGrey>(job, value, "grey"); },
     "X,Y: one gain bringing the pixel at X,Y to mean 128"},
    {"--make-black", nullptr,
     [](TCliJob& job, const QString& value) { PushReferenced<MakeBlack>(job, value, "black"); },
     "X,Y: blacken up to the pixel at X,Y, stretch the rest"},
    {"--subtract", nullptr,
     [](TCliJob& job, const QString& value) { PushReferenced<SubtractAt>(job, value, "subtract"); },
     "X,Y: subtract the pixel at X,Y, then equalise"},
    {"--negative", PushGraphed<Negative, true>, nullptr, "invert every channel"},
    {"--iso", nullptr,
     [](TCliJob& job, const QString& value) {
         const int step = ParseInteger(value, "iso step", 32, 128);
         if (step != 32 && step != 64 && step != 128)
             throw KelvoError(
                 QStringLiteral("Invalid iso step '%1': it must be 32, 64 or 128").arg(value));
         job.Operations.push_back(
             PointOperation([step](TBitmap32& image) { IsoBrightness(image, step); }));
     },
     "32|64|128: blacken every other band of intensity"},
    {"--washout", PushGraphed<Washout, true>, nullptr, "lift every channel towards white"},
    {"--bw", nullptr,
     [](TCliJob& job, const QString& value) {
         const int cutoff = ParseInteger(value, "black and white cutoff", 0, 255);
         job.Operations.push_back(
             PointOperation([cutoff](TBitmap32& image) { BlackAndWhite(image, cutoff); }));
     },
     "N: white where R + G + B > 3 N, else black, 0 to 255"},
};

}  // namespace

std::span<const TCliOption> ToneOptions() {
    return kToneOptions;
}
