// "&Undo" and "&Copy": the exchange of image and snapshot, and the picture put on the system
// clipboard.

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <new>
#include <utility>

#include "app/ui/KelvoImageUnit.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::Undo1Click() {
    if (FUndoImage.Empty()) return;

    // Exchanging the stores gives both sides exactly what copying each into the other would,
    // without touching a pixel, and nothing can fail half-way for want of memory.
    TBitmap32& current = Image->Bitmap();
    // The exchange renews both content stamps; a side that held its origin's turned pixels
    // exactly still does.
    const bool currentTurned = FMetadata.HoldsTurnedOrigin(current);
    const bool snapshotTurned = FUndoMetadata.HoldsTurnedOrigin(FUndoImage);
    current.Swap(FUndoImage);
    std::swap(FMetadata, FUndoMetadata);
    current.Changed();
    FMetadata.TurnedStamp = snapshotTurned ? current.ContentStamp() : 0;
    FUndoMetadata.TurnedStamp = currentTurned ? FUndoImage.ContentStamp() : 0;

    const QRect frame = OuterGeometry();
    const int top = FUndoBounds.Top;
    const int left = FUndoBounds.Left;
    FUndoBounds.Top = frame.top();
    FUndoBounds.Left = frame.left();
    move(pos() + QPoint(left, top) - frame.topLeft());
    // The recorded size is applied but stays recorded, so a second undo sizes the window the
    // same way while it moves it back. A snapshot taken without bounds (they start at 0) must
    // not shrink the window to nothing.
    if (FUndoBounds.Width > 0 && FUndoBounds.Height > 0)
        SetOuterSize(FUndoBounds.Width, FUndoBounds.Height);

    FMakeWhiteMode = false;
    FMakeBlackMode = false;
    FBlackWhiteStep1 = false;
    FBlackWhiteStep2 = false;

    ResizeForm();
}

void TKelvoImageForm::Copy1Click() {
    const TBitmap32& image = Image->Bitmap();
    // A picture without pixels is no picture for any program; what the clipboard holds stays.
    if (image.Empty()) return;
    // Pixels the program composes carry alpha 0, which other programs would take for fully
    // transparent; the view shows every image opaque, so the clipboard gets it opaque too.
    QImage picture(image.Width(), image.Height(), QImage::Format_RGB32);
    if (picture.isNull()) throw std::bad_alloc();
    for (int y = 0; y < image.Height(); ++y) {
        const TColor32* in = image.ScanLine(y);
        auto* out = reinterpret_cast<TColor32*>(picture.scanLine(y));
        for (int x = 0; x < image.Width(); ++x)
            out[x] = in[x] | 0xFF000000u;
    }
    QGuiApplication::clipboard()->setImage(picture);
}
