// The "Rot" menu's lossless commands: "CW", "CCW", "Flip" and "Mirror".

#include "app/ui/KelvoImageUnit.h"
#include "image/QuarterTurns.h"
#include "view/ui/ImageView.h"

// Each command records its turn with the picture's metadata, so that a JPEG saved from a
// picture only turned since its load is written from the file's coefficients.
void TKelvoImageForm::CWButtonClick() {
    EditImageResizing([this] {
        const std::uint64_t before = Image->Bitmap().ContentStamp();
        Image->Bitmap().TurnClockwise();
        FMetadata.Turned(TPixelTurn::Clockwise, before, Image->Bitmap().ContentStamp());
    });
}

void TKelvoImageForm::CCWButtonClick() {
    EditImageResizing([this] {
        const std::uint64_t before = Image->Bitmap().ContentStamp();
        Image->Bitmap().TurnCounterClockwise();
        FMetadata.Turned(TPixelTurn::CounterClockwise, before, Image->Bitmap().ContentStamp());
    });
}

// Flip and Mirror read from the snapshot the edit step has just taken, so the current image is
// written without a second copy.
void TKelvoImageForm::FlipButtonClick() {
    EditImageResizing([this] {
        const std::uint64_t before = Image->Bitmap().ContentStamp();
        FlipVertical(FUndoImage, Image->Bitmap());
        FMetadata.Turned(TPixelTurn::Flip, before, Image->Bitmap().ContentStamp());
    });
}

void TKelvoImageForm::MirrorButtonClick() {
    EditImageResizing([this] {
        const std::uint64_t before = Image->Bitmap().ContentStamp();
        MirrorHorizontal(FUndoImage, Image->Bitmap());
        FMetadata.Turned(TPixelTurn::Mirror, before, Image->Bitmap().ContentStamp());
    });
}
