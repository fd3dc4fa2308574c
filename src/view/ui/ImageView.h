#pragma once
// The view `Image`: shows the current image anchored at its top-left corner, either unscaled
// or scaled to fit, always opaque. It owns the current image.
//
// Enlarged or at 1:1 it draws the nearest pixel, crisp as a user inspecting pixels wants them.
// Reduced (Fit of a large picture) it paints the nearest pixel at once and replaces it, right
// after that first paint, with a smoothly reduced copy made once for the picture's content and the
// displayed size (view/DisplayCopy.h); a nearest-pixel reduction aliases. A picture with an
// embedded ICC profile is shown converted to sRGB. Both touch only what is painted: the raster
// keeps the file's values.
//
// On a screen of a device pixel ratio above 1 the picture is drawn in device pixels: at 1:1 one
// picture pixel per device pixel, and Fit fills the view's device pixels. Sizes the window works
// with (DisplayedSize, UnscaledSize) stay in the window system's logical units, rounded up so
// that they hold every device pixel of the picture.

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "image/Bitmap32.h"

class TDisplayColor;

class QMouseEvent;

enum class TScaleMode { smNormal, smResize };

class TImageView : public QWidget {
    Q_OBJECT

  public:
    explicit TImageView(QWidget* parent = nullptr);
    ~TImageView() override;

    // The current image. Its change notification repaints the view.
    TBitmap32& Bitmap() noexcept { return FBitmap; }
    const TBitmap32& Bitmap() const noexcept { return FBitmap; }

    TScaleMode ScaleMode() const noexcept { return FScaleMode; }
    void SetScaleMode(TScaleMode mode);

    // The size the image is drawn at in the view's current size and scale mode, in logical units
    // (DisplayedDeviceSize() over DeviceScale(), rounded up).
    QSize DisplayedSize() const;
    // The same in device pixels: the picture's own size at 1:1.
    QSize DisplayedDeviceSize() const;
    // The picture at 1:1 in logical units, whatever the scale mode: the client size and scroll
    // ranges of an unscaled picture.
    QSize UnscaledSize() const;
    // Device pixels per logical unit on the view's screen.
    qreal DeviceScale() const { return devicePixelRatioF(); }
    // Counts the changes of the image: a command that waits (a question) and then reads the
    // image compares it to know the picture it measured is still the one shown.
    std::uint64_t ChangeCount() const noexcept { return FChangeCount; }

    // The image pixel under a point of the view, in logical units (may lie outside the image).
    // A fractional point reaches every device pixel of a scaled screen.
    QPoint ControlToBitmap(QPointF point) const;
    // Where picture pixel `pixel`'s top-left corner lies in the view at 1:1, in logical units.
    QPointF UnscaledToControl(QPoint pixel) const;

    // The ICC profile the picture's file embeds; empty for none (shown as it is).
    void SetColorProfile(const QByteArray& iccProfile);
    // Whether the picture is shown reduced and its smooth copy for the current content and
    // size is made (the paint after this uses it).
    bool SmoothCopyReady() const;
    // Makes the smooth copy now when the picture is shown reduced and it is missing or stale.
    void MakeSmoothCopy();

  signals:
    // Pointer events in view coordinates, for the pointer commands of the main window.
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool ShownReduced(QSize shownDevice) const;
    void QueueSmoothCopy();

    TBitmap32 FBitmap;
    // The smooth reduction and what it was made for.
    QImage FSmooth;
    std::uint64_t FSmoothStamp = 0;
    QSize FSmoothSize;  // device pixels
    bool FSmoothQueued = false;
    std::shared_ptr<const TDisplayColor> FColor;  // null: no conversion
    TScaleMode FScaleMode = TScaleMode::smNormal;
    std::uint64_t FChangeCount = 0;
};
