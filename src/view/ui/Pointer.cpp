// The mouse on the image: the left-drag selection and its crop, the right-drag pan, the pixel
// readout and line length in the caption, and the dispatch of a press to an armed click mode.

#include <QAction>
#include <QMouseEvent>
#include <QRubberBand>
#include <QScopeGuard>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "app/ui/BusyCursor.h"
#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "transform/Crop.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::ConnectPointer() {
    connect(Image, &TImageView::MouseDown, this, [this](QMouseEvent* event) {
        RunCommand([&] { ImageMouseDown(event->button(), event->position()); });
    });
    connect(Image, &TImageView::MouseMove, this, [this](QMouseEvent* event) {
        RunCommand([&] { ImageMouseMove(event->position()); });
    });
    connect(Image, &TImageView::MouseUp, this, [this](QMouseEvent* event) {
        RunCommand([&] { ImageMouseUp(event->button(), event->position()); });
    });
}

QPoint TKelvoImageForm::ViewToImage(QPointF position) const {
    // The scale the view shows, not the stored preference: until the first 1:1 or Fit choice
    // the image is shown unscaled whatever the preference says. Unscaled, the view knows which
    // device pixel a point lies on.
    const TBitmap32& image = Image->Bitmap();
    if (Image->ScaleMode() == TScaleMode::smNormal || image.Empty() || Image->width() <= 0 ||
        Image->height() <= 0)
        return Image->ControlToBitmap(position);
    // In logical units: the view's device pixels and the point's give the same factor.
    const double f =
        std::max(double(image.Width()) / Image->width(), double(image.Height()) / Image->height());
    // nearbyint rounds halves to even in the default rounding mode.
    return {int(std::nearbyint(position.x() * f)), int(std::nearbyint(position.y() * f))};
}

void TKelvoImageForm::ShowOutline() {
    const QRect& r = FOutlineRect;
    FScreenDC->setGeometry(
        QRect(QPoint(std::min(r.left(), r.right()), std::min(r.top(), r.bottom())),
              QPoint(std::max(r.left(), r.right()), std::max(r.top(), r.bottom()))));
    FScreenDC->show();
}

void TKelvoImageForm::ImageMouseDown(Qt::MouseButton button, QPointF position) {
    const QPoint at = ViewToImage(position);
    const TBitmap32& image = Image->Bitmap();
    if (!image.Contains(at.x(), at.y())) return;
    const TColor32 pixel = image.GetPixel(at.x(), at.y());

    // An armed mode takes the press whatever the button.
    if (FMakeWhiteMode) {
        FMakeWhiteMode = false;
        MakeWhiteAt(pixel);
        return;
    }
    if (FSubtractMode) {
        FSubtractMode = false;
        SubtractAt(pixel);
        return;
    }
    if (FMakeBlackMode) {
        FMakeBlackMode = false;
        MakeBlackAt(pixel);
        return;
    }
    if (FBlackWhiteStep1) {
        // The release moves on to the white click.
        FBlackPoint = pixel;
        return;
    }
    if (FBlackWhiteStep2) {
        FBlackWhiteStep2 = false;
        MakeBlackWhiteAt(FBlackPoint, pixel);
        return;
    }
    if (FMakeGreyMode) {
        FMakeGreyMode = false;
        MakeGreyAt(pixel);
        return;
    }
    if (FRemoveCastMode) {
        FRemoveCastMode = false;
        RemoveColorCastAt(pixel);
        return;
    }

    // An ordinary press takes no undo snapshot: a click after an edit must leave Undo able to
    // take the edit back, and the crop takes its own snapshot before it changes anything.
    if (button == Qt::LeftButton) {
        FOutlineRect = QRect(position.toPoint(), position.toPoint());
        ShowOutline();
        FOutlineShown = true;
        FLastClickPos = at;
        FLastClickSet = true;
    } else if (button != Qt::RightButton) {
        return;
    }
    FPressX = at.x();
    FPressY = at.y();
    FPressButton = button;
}

void TKelvoImageForm::PanTo(QPointF position) {
    const QSize unscaled = Image->UnscaledSize();
    SetScrollRanges(unscaled.width(), unscaled.height());
    // The grabbed picture pixel is where the view shows it, in logical units.
    const QPointF grabbed = Image->UnscaledToControl(QPoint(FPressX, FPressY));
    HorzScrollBar->setValue(HorzScrollBar->value() + int(std::lround(grabbed.x() - position.x())));
    VertScrollBar->setValue(VertScrollBar->value() + int(std::lround(grabbed.y() - position.y())));
    FPanned = true;
}

void TKelvoImageForm::ImageMouseMove(QPointF position) {
    const QPoint at = ViewToImage(position);
    if (FPressButton == Qt::LeftButton && FOutlineShown) {
        FOutlineRect.setBottomRight(position.toPoint());
        ShowOutline();
    }
    // Panning follows what is shown: only an unscaled image has a point to grab.
    if (FPressButton == Qt::RightButton && Image->ScaleMode() == TScaleMode::smNormal)
        PanTo(position);

    // The readout reads one pixel and nothing else, so it keeps up with the pointer on any
    // image size.
    FPixelText.clear();
    const TBitmap32& image = Image->Bitmap();
    if (ShowPixelValues1->isChecked() && image.Contains(at.x(), at.y())) {
        const TColor32 pixel = image.GetPixel(at.x(), at.y());
        const int r = int((pixel >> 16) & 0xFF);
        const int g = int((pixel >> 8) & 0xFF);
        const int b = int(pixel & 0xFF);
        FPixelText = QStringLiteral("<%1R,%2G,%3B> [%4] at [%5, %6]")
                         .arg(r)
                         .arg(g)
                         .arg(b)
                         .arg(r + g + b)
                         .arg(at.x())
                         .arg(at.y());
    }
    if (FLastClickSet) {
        const double dx = at.x() - FLastClickPos.x();
        const double dy = at.y() - FLastClickPos.y();
        FLineLength = int(std::nearbyint(std::sqrt(dx * dx + dy * dy)));
    }
    UpdateCaption();
}

void TKelvoImageForm::ImageMouseUp(Qt::MouseButton /*button*/, QPointF position) {
    const QPoint at = ViewToImage(position);
    if (FOutlineShown) {
        FScreenDC->hide();
        FOutlineShown = false;
    }
    const auto endPress = qScopeGuard([this] {
        FPressButton = Qt::MiddleButton;
        FSelRight = -1;
        FSelBottom = -1;
    });

    const TBitmap32& image = Image->Bitmap();
    if (FMakeWhiteMode || FMakeBlackMode || FBlackWhiteStep1 || FBlackWhiteStep2) {
        if (!image.Contains(at.x(), at.y())) return;
        if (FMakeWhiteMode)
            FMakeWhiteMode = false;
        else if (FMakeBlackMode)
            FMakeBlackMode = false;
        else if (FBlackWhiteStep1) {
            FBlackWhiteStep1 = false;
            FBlackWhiteStep2 = true;
        } else
            FBlackWhiteStep2 = false;
        UpdateCaption();
        return;
    }

    if (FPressButton == Qt::LeftButton) {
        // The press corner was clamped to the image shown at the press; the slideshow may have
        // put another one there since, so both corners are clamped to the image shown now.
        const TSelection selection =
            SelectionBetween(FPressX, FPressY, at.x(), at.y(), image.Width(), image.Height());
        FPressX = selection.Left;
        FPressY = selection.Top;
        FSelRight = selection.Right;
        FSelBottom = selection.Bottom;
        if (selection.IsClick()) return;
        if (selection.IsSmall()) {
            const std::uint64_t shown = Image->ChangeCount();
            if (!AskYesNo(QStringLiteral("The selected sub-image is pretty small: are you sure?")))
                return;
            // Another picture came in while the question was open: the selection was made on
            // the one before, so nothing is cropped.
            if (Image->ChangeCount() != shown) return;
        }
        CropToSelection(selection);
    } else if (FPressButton == Qt::RightButton && Image->ScaleMode() == TScaleMode::smNormal) {
        PanTo(position);
    }
}

void TKelvoImageForm::CropToSelection(const TSelection& selection) {
    const TEndBusyOnFailure onFailure(*this);
    EnableButtons(false);
    SaveUndoSnapshot();
    // The pixels keep the orientation they had: a file's own Orientation tag stays true.
    CropImage(FUndoImage, selection, Image->Bitmap());
    SizeClientToImage();
    EnableButtons(true);
}
