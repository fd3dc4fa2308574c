// Display modes, the resampling commands, panning and the window-sizing rule of the main window.

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>
#include <QToolButton>
#include <algorithm>
#include <exception>
#include <utility>

#include "app/ui/BusyCursor.h"
#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/KelvoPrompts.h"
#include "base/FlagScope.h"
#include "base/IniFile.h"
#include "transform/Resample.h"
#include "view/ui/ImageView.h"

// The display items' enabling follows FOneToOne through their rows (view/ui/DisplayMenu.cpp).
void TKelvoImageForm::OneToOne1Click() {
    FOneToOne = true;
    FDisplayModeApplied = true;
    UpdateMenuState();
    TIniFile ini(MainSettingsFile());
    WriteYesNo(ini, QStringLiteral("Image"), QStringLiteral("OneToOne"), true);
    Image->SetScaleMode(TScaleMode::smNormal);
    SizeClientToImage();
    ResizeForm();
}

void TKelvoImageForm::Fit1Click() {
    FOneToOne = false;
    FDisplayModeApplied = true;
    UpdateMenuState();
    TIniFile ini(MainSettingsFile());
    WriteYesNo(ini, QStringLiteral("Image"), QStringLiteral("OneToOne"), false);
    Image->SetScaleMode(TScaleMode::smResize);
    ResizeForm();
}

void TKelvoImageForm::DoubleButtonClick() {
    EditImageResizing([this] { DoubleImage(FUndoImage, Image->Bitmap()); });
}

void TKelvoImageForm::HalfButtonClick() {
    ReduceImage(2);
}

void TKelvoImageForm::QuarterButtonClick() {
    ReduceImage(4);
}

void TKelvoImageForm::ReduceImage(int n) {
    EditImageResizing([this, n] { ::ReduceImage(FUndoImage, n, Image->Bitmap()); });
}

void TKelvoImageForm::SizeClientToImage() {
    // In the window system's units: on a scaled screen the picture's pixels are device pixels.
    // The picture's size, without waiting for a full decode in progress.
    const QSize unscaled = Image->UnscaledSize();
    SetClientHeight(unscaled.height());
    SetClientWidth(unscaled.width());
    FClientSizedToImage = true;
}

bool TKelvoImageForm::ToolbarShown() const {
    return PellsTools1->isChecked();
}

void TKelvoImageForm::ResizeForm() {
    if (FResizing) return;
    const TFlagScope resizing(FResizing);
    // The size a caller just gave the client is the image's own; consumed here either way, so
    // that a later resize by the user is kept as it is.
    const bool clientSizedToImage = std::exchange(FClientSizedToImage, false);

    if (FPanned) SetScrollRanges(0, 0);
    FPanned = false;

    const bool toolbar = ToolbarShown();
    int w = 0;
    int h = 0;
    if (!FOneToOne) {
        const QSize shown = Image->DisplayedSize();
        w = shown.width();
        h = shown.height();
        if (toolbar) h += ToolbarHeight;
    } else {
        w = ClientWidth();
        h = ClientHeight();
        // The client was just made as high as the image: the toolbar needs room on top of it.
        if (toolbar && clientSizedToImage) h += ToolbarHeight;
    }

    // A menu bar wider than that (a larger font) widens the window rather than hiding items.
    const int minimumWidth =
        std::max(toolbar ? SaveNextSB->geometry().right() + 1 + 8 : MinimumWidthWithoutToolbar,
                 MenuBarWidth());
    if (w < minimumWidth) w = minimumWidth;

    QRect area(0, 0, DesignedWidth, DesignedHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
    const int workHeight = area.height();
    const int workWidth = area.width();
    // Sizes and positions here are the window's outer ones, its frame included.
    FFrameMarginsAllowed = FrameMargins();
    const QRect frame = OuterGeometry();
    int top = frame.top();
    int left = frame.left();
    if (top + frame.height() > workHeight)
        top = frame.height() < workHeight ? workHeight - frame.height() : 0;
    if (left + frame.width() > workWidth)
        left = frame.width() < workWidth ? workWidth - frame.width() : 0;
    // Nor may the frame stand above or left of the work area: its title bar would be out of the
    // user's reach. A window placed before the window manager framed it ends up there, since
    // the frame grows outwards from the client.
    top = std::max(top, 0);
    left = std::max(left, 0);
    if (top != frame.top() || left != frame.left())
        move(pos() + QPoint(left, top) - frame.topLeft());

    SetClientHeight(h);
    SetClientWidth(w);

    const QRect grown = OuterGeometry();
    if (grown.height() > workHeight) SetOuterSize(grown.width(), workHeight);
    if (OuterGeometry().width() > workWidth) SetOuterSize(workWidth, OuterGeometry().height());
}

void TKelvoImageForm::RefitToNewFrame() {
    // The frame drawn replaces the one announced: from now on the window system tells.
    if (const QWindow* window = windowHandle();
        FFrameMarginsAhead && window && !window->frameMargins().isNull())
        FFrameMarginsAhead.reset();
    if (FFrameMarginsAllowed == FrameMargins()) return;
    RunCommand([this] {
        // The window was placed before its frame was known, so the frame's title bar may stand
        // above the work area, out of reach: the whole frame is brought onto it first.
        const QRect outer = OuterGeometry();
        const QPoint onto(std::max(0, -outer.left()), std::max(0, -outer.top()));
        if (!onto.isNull()) move(pos() + onto);
        ResizeForm();
    });
}

void TKelvoImageForm::FormResize() {
    FPressButton = Qt::MiddleButton;
    ResizeForm();
}

void TKelvoImageForm::EnableButtons(bool enabled) {
    if (!enabled && !FBusy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        FBusy = true;
    } else if (enabled && FBusy) {
        QGuiApplication::restoreOverrideCursor();
        FBusy = false;
    }
    ResizeForm();
}

void TKelvoImageForm::EndBusyCursor() {
    if (!FBusy) return;
    QGuiApplication::restoreOverrideCursor();
    FBusy = false;
}

void TKelvoImageForm::PanView(int dx, int dy) {
    const QSize unscaled = Image->UnscaledSize();
    SetScrollRanges(unscaled.width(), unscaled.height());
    if (dx != 0) HorzScrollBar->setValue(HorzScrollBar->value() + dx * FPanSpeed);
    if (dy != 0) VertScrollBar->setValue(VertScrollBar->value() + dy * FPanSpeed);
    FPanned = true;
}

void TKelvoImageForm::PanSpeed1Click() {
    if (const std::optional<int> speed =
            PromptIntegerSetting(MainSettingsFile(), PanSpeedSetting, PanSpeed1))
        FPanSpeed = *speed;
}
