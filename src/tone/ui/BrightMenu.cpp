// The "Bright" menu: brightness and contrast, the reference-point corrections, the histogram
// and the whole-image tone effects.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

bool HasColorCastFactors(const F& form) {
    return form.FColorCastRed != 0 || form.FColorCastGreen != 0 || form.FColorCastBlue != 0;
}

constexpr TMenuRow kRows[] = {
    {"&Linear", "LinearBrighten1", &F::LinearBrighten1, &F::LinearBrighten1Click},
    {"Contrast Stretch", "ContrastStretch1", &F::ContrastStretch1, &F::ContrastStretch1Click},
    {"Brightness", "Brightness1", &F::Brightness1, &F::Brightness1Click},
    {"Contrast", "Contrast1", &F::Contrast1, &F::Contrast1Click},
    {"Make White", "MakeWhite1", &F::MakeWhite1, nullptr},
    {"Make Black", "MakeBlack1", &F::MakeBlack1, nullptr},
    {"Make Black/White", "MakeBlackWhite1", &F::MakeBlackWhite1, nullptr},
    {"Make Grey", "MakeGrey1", &F::MakeGrey1, nullptr},
    {"Subtract", "Subtract1", &F::Subtract1, nullptr},
    {"Remove Color Cast", "RemoveColorCast1", &F::RemoveColorCast1, nullptr},
    {"Remove Color Cast Again", "RemoveColorCastAgain1", &F::RemoveColorCastAgain1, nullptr,
     TCheckMark::None, nullptr, HasColorCastFactors},
    {"&HistoGram", "HistoGram1", &F::HistoGram1, &F::HistoGram1Click},
    {"Show Histogram", "ShowHistogram1", &F::ShowHistogram1, &F::ShowHistogram1Click,
     TCheckMark::On},
    {"Make Black and White", "MakeBlackandWhite1", &F::MakeBlackandWhite1,
     &F::MakeBlackandWhite1Click},
    {"Negative", "Negative1", &F::Negative1, &F::Negative1Click},
    {"IsoBrightness 32", "IsoBrightness32", &F::IsoBrightness32, &F::IsoBrightness32Click},
    {"IsoBrightness 64", "IsoBrightness64", &F::IsoBrightness64, &F::IsoBrightness64Click},
    {"IsoBrightness 128", "IsoBrightness128", &F::IsoBrightness128, &F::IsoBrightness128Click},
    {"Washout", "Washout1", &F::Washout1, &F::Washout1Click},
};

}  // namespace

constexpr TMenuTable kBrightMenu{"Bright", "Bright1", &F::Bright1, kRows};
