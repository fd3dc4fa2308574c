// The "Rot" menu's lossless commands: "CW", "CCW", "Flip" and "Mirror".

#include "app/ui/BusyCursor.h"
#include "app/ui/KelvoImageUnit.h"
#include "image/QuarterTurns.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::CWButtonClick() {
    const TEndBusyOnFailure onFailure(*this);
    BeginImageEdit();
    Image->Bitmap().TurnClockwise();
    SizeClientToImage();
    EnableButtons(true);
}

void TKelvoImageForm::CCWButtonClick() {
    const TEndBusyOnFailure onFailure(*this);
    BeginImageEdit();
    Image->Bitmap().TurnCounterClockwise();
    SizeClientToImage();
    EnableButtons(true);
}

// Flip and Mirror read from the snapshot the edit step has just taken, so the current image is
// written without a second copy.
void TKelvoImageForm::FlipButtonClick() {
    const TEndBusyOnFailure onFailure(*this);
    BeginImageEdit();
    FlipVertical(FUndoImage, Image->Bitmap());
    SizeClientToImage();
    EnableButtons(true);
}

void TKelvoImageForm::MirrorButtonClick() {
    const TEndBusyOnFailure onFailure(*this);
    BeginImageEdit();
    MirrorHorizontal(FUndoImage, Image->Bitmap());
    SizeClientToImage();
    EnableButtons(true);
}
