// The undo snapshot, the edit step every whole-image command starts with, and the clipboard.

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <utility>

#include "app/ui/BusyCursor.h"
#include "app/ui/KelvoImageUnit.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::SaveUndoSnapshot(const TBitmap32::TPixelCopy& copy) {
    if (copy)
        FUndoImage.Assign(Image->Bitmap(), copy);
    else
        FUndoImage.Assign(Image->Bitmap());
    // The copy holds the same pixels: a picture only turned since its load stays so in it.
    FUndoMetadata = FMetadata;
    FUndoMetadata.TurnedStamp =
        FMetadata.HoldsTurnedOrigin(Image->Bitmap()) ? FUndoImage.ContentStamp() : 0;
    const QRect frame = OuterGeometry();
    FUndoBounds = {frame.top(), frame.left(), frame.height(), frame.width()};
}

TOnFailure TKelvoImageForm::ExchangeUndoSnapshot() {
    TBitmap32& image = Image->Bitmap();
    const bool turnedOrigin = FMetadata.HoldsTurnedOrigin(image);
    image.Swap(FUndoImage);
    // The drawing properties stay the image's; the snapshot has the same ones, as a copy would.
    image.OuterColor = FUndoImage.OuterColor;
    image.DrawMode = FUndoImage.DrawMode;
    image.MasterAlpha = FUndoImage.MasterAlpha;
    image.StretchFilter = FUndoImage.StretchFilter;
    const auto pixelsBack = [this] {
        Image->Bitmap().Swap(FUndoImage);
        FUndoImage.AssignEmpty();
    };
    {
        const TOnFailure sizeRefused(pixelsBack);
        image.SetSize(FUndoImage.Width(), FUndoImage.Height());
    }
    FUndoMetadata = FMetadata;
    FUndoMetadata.TurnedStamp = turnedOrigin ? FUndoImage.ContentStamp() : 0;
    const QRect frame = OuterGeometry();
    FUndoBounds = {frame.top(), frame.left(), frame.height(), frame.width()};
    return TOnFailure(pixelsBack);
}

void TKelvoImageForm::BeginImageEdit() {
    // Cleared first so that the re-fit below leaves a panned view where it is.
    FPanned = false;
    EnableButtons(false);
    SaveUndoSnapshot();
}

void TKelvoImageForm::EditImageResizing(const std::function<void()>& change) {
    const TEndBusyOnFailure onFailure(*this);
    BeginImageEdit();
    change();
    SizeClientToImage();
    EnableButtons(true);
}

void TKelvoImageForm::MarkPixelsReoriented() {
    FMetadata.Reoriented = true;
}

void TKelvoImageForm::Paste1Click() {
    const QImage picture = QGuiApplication::clipboard()->image();
    if (!picture.isNull() && picture.width() > 0 && picture.height() > 0) {
        // Converted aside first: a picture too large to convert leaves the current image as it
        // was instead of an emptied one.
        TBitmap32& current = Image->Bitmap();
        TBitmap32 pasted;
        pasted.OuterColor = current.OuterColor;
        pasted.DrawMode = current.DrawMode;
        pasted.MasterAlpha = current.MasterAlpha;
        pasted.StretchFilter = current.StretchFilter;
        pasted.Assign(picture, TPictureKind::Drawn);
        current.Assign(std::move(pasted));
        // The clipboard holds pixels only; the file's tags do not describe them.
        FMetadata = {};
        Image->SetColorProfile({});
    }
    SizeClientToImage();
    ResizeForm();
}
