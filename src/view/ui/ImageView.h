#pragma once
// The view `Image`: shows the current image anchored at its top-left corner, either unscaled
// or scaled to fit, always opaque and with the nearest pixel. It owns the current image.

#include <QWidget>
#include <cstdint>

#include "image/Bitmap32.h"

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

    // The size the image is drawn at in the view's current size and scale mode.
    QSize DisplayedSize() const;
    // Counts the changes of the image: a command that waits (a question) and then reads the
    // image compares it to know the picture it measured is still the one shown.
    std::uint64_t ChangeCount() const noexcept { return FChangeCount; }

    // The image pixel under a point of the view (may lie outside the image).
    QPoint ControlToBitmap(QPoint point) const;

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
    TBitmap32 FBitmap;
    TScaleMode FScaleMode = TScaleMode::smNormal;
    std::uint64_t FChangeCount = 0;
};
