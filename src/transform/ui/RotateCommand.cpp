// "Rotate": the free rotation on its slider window. Every re-apply renders again from the image
// kept when the window opened, so turns never accumulate and no quality is lost.

#include <QSlider>
#include <QString>

#include "app/ui/BusyCursor.h"
#include "app/ui/KelvoImageUnit.h"
#include "transform/AffineTransform.h"
#include "transform/ui/RotationTrackBarForm.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::Rotate1Click() {
    TRotationTrackBarForm& window = *RotationTrackBarForm;
    if (!window.isVisible()) {
        // The undo snapshot here carries no window bounds: each re-apply records them.
        FUndoImage.Assign(Image->Bitmap());
        FUndoMetadata = FMetadata;
        FSliderSource.Assign(Image->Bitmap());
        window.OnApply = [this] { Rotate1Click(); };
        window.show();
        return;
    }
    const TEndBusyOnFailure onFailure(*this);
    const double degrees = window.TrackBar1->value();
    window.setWindowTitle(QString::asprintf("Rotation - use arrow keys (%.2f degrees)", degrees));
    FPanned = false;
    EnableButtons(false);
    const QRect frame = OuterGeometry();
    FUndoBounds = {frame.top(), frame.left(), frame.height(), frame.width()};
    // The render writes every pixel of the target, so the source need not be copied first.
    RotateImage(FSliderSource, degrees, Image->Bitmap());
    MarkPixelsReoriented();
    Image->Bitmap().Changed();
    EnableButtons(true);
    // The arrow keys turn the picture by a degree next; the window kept the focus throughout.
    window.TrackBar1->setFocus();
}
