// The "Bright" menu: brightness and contrast, the reference-point corrections, the histogram
// and the whole-image tone effects.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

bool ColorCastAgainEnabled(const F& form) {
    return form.FColorCastAgainEnabled;
}

constexpr TMenuRow kRows[] = {
    {"&Linear", "LinearBrighten1", &F::LinearBrighten1, &F::LinearBrighten1Click},
    {"Contrast Stretch", "ContrastStretch1", &F::ContrastStretch1, &F::ContrastStretch1Click},
    {"Brightness", "Brightness1", &F::Brightness1, &F::Brightness1Click},
    {"Contrast", "Contrast1", &F::Contrast1, &F::Contrast1Click},
    {"Make White", "MakeWhite1", &F::MakeWhite1, &F::MakeWhite1Click},
    {"Make Black", "MakeBlack1", &F::MakeBlack1, &F::MakeBlack1Click},
    {"Make Black/White", "MakeBlackWhite1", &F::MakeBlackWhite1, &F::MakeBlackWhite1Click},
    {"Make Grey", "MakeGrey1", &F::MakeGrey1, &F::MakeGrey1Click},
    {"Subtract", "Subtract1", &F::Subtract1, &F::Subtract1Click},
    {"Remove Color Cast", "RemoveColorCast1", &F::RemoveColorCast1, &F::RemoveColorCast1Click},
    {"Remove Color Cast Again", "RemoveColorCastAgain1", &F::RemoveColorCastAgain1,
     &F::RemoveColorCastAgain1Click, TCheckMark::None, nullptr, ColorCastAgainEnabled},
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
