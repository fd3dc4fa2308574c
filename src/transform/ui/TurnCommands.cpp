// The "Rot" menu's lossless commands: "CW", "CCW", "Flip" and "Mirror".

#include "app/ui/KelvoImageUnit.h"
#include "image/QuarterTurns.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::CWButtonClick() {
    EditImageResizing([this] {
        Image->Bitmap().TurnClockwise();
        MarkPixelsReoriented();
    });
}

void TKelvoImageForm::CCWButtonClick() {
    EditImageResizing([this] {
        Image->Bitmap().TurnCounterClockwise();
        MarkPixelsReoriented();
    });
}

// Flip and Mirror read from the snapshot the edit step has just taken, so the current image is
// written without a second copy.
void TKelvoImageForm::FlipButtonClick() {
    EditImageResizing([this] {
        FlipVertical(FUndoImage, Image->Bitmap());
        MarkPixelsReoriented();
    });
}

void TKelvoImageForm::MirrorButtonClick() {
    EditImageResizing([this] {
        MirrorHorizontal(FUndoImage, Image->Bitmap());
        MarkPixelsReoriented();
    });
}
