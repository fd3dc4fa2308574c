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
//
// A large JPEG shown fitted is first decoded reduced (ShowReducedFirst): the view paints that
// small picture mapped onto the full picture's size, so that every geometry (the displayed
// size, the pointer's pixel) is already the full picture's, and swaps the full decode in when
// its thread is done. Bitmap() is the only way to the pixels and waits for that decode first:
// no command ever sees the reduced copy.

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/PhotoMetadata.h"

class TDisplayColor;
class TFullDecode;

class QMouseEvent;

enum class TScaleMode { smNormal, smResize };

class TImageView : public QWidget {
    Q_OBJECT

  public:
    explicit TImageView(QWidget* parent = nullptr);
    ~TImageView() override;

    // The current image. Its change notification repaints the view. While the full decode of
    // a picture shown reduced runs, this waits for it under the busy cursor and swaps it in.
    TBitmap32& Bitmap();
    const TBitmap32& Bitmap() const;
    // The current image's size, without waiting for a full decode in progress.
    QSize PictureSize() const;

    // ---- the reduced decode first ----
    // Called as a load of another picture begins: a full decode still running is cancelled
    // (it stops within a band of rows) and the reduced picture dropped, with nothing swapped in.
    void DropPendingPicture();
    // For a JPEG at least twice the size it is shown at (fitted into area, the largest the view
    // can get) in both directions: decodes it reduced, shows that, and starts the full decode.
    // metadata receives the load's metadata but for the exactness of the pixels, which
    // fullArrived (called on this thread once the full picture is in Bitmap()) gets with the
    // full load's own metadata. False, with nothing changed, when the file is no such JPEG or
    // the reduced decode is switched off; failures throw as LoadPhotoFromFile's.
    bool ShowReducedFirst(const QString& fileName, bool upright, QSize area,
                          TKeptMetadata& metadata,
                          std::function<void(const TKeptMetadata&)> fullArrived);
    // The same with a reduced decode made already (the read-ahead's).
    void ShowReduced(const QString& fileName, bool upright, TReducedPhoto&& reduced,
                     TKeptMetadata& metadata,
                     std::function<void(const TKeptMetadata&)> fullArrived);
    // The size a picture of the given full size is shown at when fitted into area.
    static std::function<QSize(QSize)> FittedInto(QSize area);
    // Whether a full decode is to start, runs or waits to be swapped in.
    bool FullDecodePending() const { return FFullDecode != nullptr || FFullWanted; }
    // Waits for the full decode and swaps it in; nothing when none is pending. A failure of the
    // full decode leaves the image empty, as the plain load's failure does, and is reported.
    void FinishFullDecode();
    // On by default; off, every picture is decoded whole (the benchmark's comparison).
    void SetReducedDecodeFirst(bool on) { FReducedFirst = on; }
    bool ReducedDecodeFirst() const { return FReducedFirst; }

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
    // The full decode has ended (delivered queued on the view's thread).
    void FullDecodeEnded();
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
    // The raster the paint draws from: the reduced picture while the full one is pending.
    const TBitmap32& Shown() const { return FullDecodePending() ? FReduced : FBitmap; }
    bool ShownReduced(QSize shownDevice) const;
    void QueueSmoothCopy();
    void SwapInFullPicture();
    void StartFullDecode();

    TBitmap32 FBitmap;
    // The reduced decode on screen and the full decode it waits for; FPictureSize is the full
    // picture's size meanwhile.
    TBitmap32 FReduced;
    QSize FPictureSize;
    std::unique_ptr<TFullDecode> FFullDecode;
    // The full decode starts once the reduced picture has been painted, so that the first
    // paint has the processor to itself.
    bool FFullWanted = false;
    QString FFullFile;
    bool FFullUpright = false;
    std::function<void(const TKeptMetadata&)> FFullArrived;
    bool FReducedFirst = true;
    // The smooth reduction and what it was made for.
    QImage FSmooth;
    std::uint64_t FSmoothStamp = 0;
    QSize FSmoothSize;  // device pixels
    bool FSmoothQueued = false;
    std::shared_ptr<const TDisplayColor> FColor;  // null: no conversion
    TScaleMode FScaleMode = TScaleMode::smNormal;
    std::uint64_t FChangeCount = 0;
};
