// The corrections the click modes serve, and the arming commands of the "Bright" menu. Each
// correction measures its reference first: a reference that would divide by zero ends the
// command before the factors, the settings, the snapshot or the image change. "Subtract" is
// with the whole-image commands of ToneCommands.cpp, whose frame it shares.

#include <QAction>

#include "app/ui/BusyCursor.h"
#include "app/ui/KelvoImageUnit.h"
#include "base/IniFile.h"
#include "tone/ToneCorrections.h"
#include "view/ui/ImageView.h"

namespace {

TColorCastFactors CurrentFactors(const TKelvoImageForm& form) {
    return {form.FColorCastRed, form.FColorCastGreen, form.FColorCastBlue};
}

void StoreFactors(TKelvoImageForm& form, const TColorCastFactors& factors) {
    form.FColorCastRed = factors.Red;
    form.FColorCastGreen = factors.Green;
    form.FColorCastBlue = factors.Blue;
}

}  // namespace

void TKelvoImageForm::MakeWhite1Click() {
    FMakeWhiteMode = true;
    UpdateCaption();
}

void TKelvoImageForm::MakeBlack1Click() {
    FMakeBlackMode = true;
    UpdateCaption();
}

void TKelvoImageForm::MakeBlackWhite1Click() {
    FBlackWhiteStep1 = true;
    UpdateCaption();
}

void TKelvoImageForm::MakeGrey1Click() {
    FMakeGreyMode = true;
    UpdateCaption();
}

void TKelvoImageForm::Subtract1Click() {
    FSubtractMode = true;
    UpdateCaption();
}

void TKelvoImageForm::RemoveColorCast1Click() {
    FRemoveCastMode = true;
    UpdateCaption();
}

void TKelvoImageForm::RemoveColorCastAgain1Click() {
    ApplyColorCast();
}

void TKelvoImageForm::SaveColorCast() {
    TIniFile ini(MainSettingsFile());
    ::SaveColorCast(ini, CurrentFactors(*this));
}

void TKelvoImageForm::ApplyColorCast() {
    FColorCastAgainEnabled = true;
    UpdateMenuState();
    const TEndBusyOnFailure onFailure(*this);
    EnableButtons(false);
    SaveUndoSnapshot();
    ::ApplyColorCast(Image->Bitmap(), CurrentFactors(*this));
    Image->Bitmap().Changed();
    EnableButtons(true);
}

void TKelvoImageForm::MakeWhiteAt(TColor32 reference) {
    StoreFactors(*this, MakeWhiteFactors(reference));
    SaveColorCast();
    ApplyColorCast();
}

void TKelvoImageForm::RemoveColorCastAt(TColor32 reference) {
    StoreFactors(*this, RemoveColorCastFactors(reference));
    SaveColorCast();
    ApplyColorCast();
}

void TKelvoImageForm::MakeBlackWhiteAt(TColor32 black, TColor32 white) {
    const TColorCastFactors factors = BlackWhiteFactors(black, white);
    StoreFactors(*this, factors);
    SaveColorCast();
    // "Remove Color Cast Again" stays as it was: these factors belong with the black
    // subtraction, and only a plain colour cast offers them again.
    const TEndBusyOnFailure onFailure(*this);
    EnableButtons(false);
    SaveUndoSnapshot();
    ApplyBlackWhite(Image->Bitmap(), black, factors);
    Image->Bitmap().Changed();
    EnableButtons(true);
}

void TKelvoImageForm::MakeGreyAt(TColor32 reference) {
    // Measured first so that a black reference fails before the busy state.
    (void)MakeGreyFactor(reference);
    const TEndBusyOnFailure onFailure(*this);
    EnableButtons(false);
    SaveUndoSnapshot();
    MakeGrey(Image->Bitmap(), reference);
    Image->Bitmap().Changed();
    EnableButtons(true);
}

void TKelvoImageForm::MakeBlackAt(TColor32 reference) {
    // No busy state and no re-fit: the table is quick and the size does not change.
    SaveUndoSnapshot();
    MakeBlack(Image->Bitmap(), reference);
    Image->Bitmap().Changed();
}
