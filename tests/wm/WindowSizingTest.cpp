// The main window's size and place under openbox: the frame on the work area at Fit, the whole
// picture in view after a crop, and display mode, view and window in agreement after "&Undo".

#include <QAction>
#include <QPoint>
#include <QSlider>

#include "transform/ui/RotationTrackBarForm.h"
#include "view/FitGeometry.h"
#include "wm/WindowManagerFixture.h"

namespace {

class WindowSizing : public WindowManagerFixture {
  protected:
    TKelvoImageForm& StartWithPicture(const QByteArray& settings, int width, int height) {
        MarkRegistered(settings);
        const QString name = MakeImage(QStringLiteral("picture.png"), width, height,
                                       [](int x, int y) { return qRgb(x % 256, y % 256, 90); });
        return StartManaged({name});
    }

    // A left-button drag over the view, in view coordinates, as the user crops.
    void Crop(QPoint from, QPoint to) {
        TKelvoImageForm& form = Form();
        form.ImageMouseDown(Qt::LeftButton, from);
        form.ImageMouseMove(to);
        form.ImageMouseUp(Qt::LeftButton, to);
        Settle();
    }

    // Display mode, view and window agree: the menu offers the other mode, the view scales as
    // the mode says, the whole frame stands on the work area, and the picture is seen whole at
    // its 1:1 or fitted size. At Fit the client hugs the fitted picture.
    void ExpectConsistent(const char* when) {
        SCOPED_TRACE(when);
        TKelvoImageForm& form = Form();
        const bool oneToOne = form.FOneToOne;
        EXPECT_EQ(form.Image->ScaleMode(),
                  oneToOne ? TScaleMode::smNormal : TScaleMode::smResize);
        EXPECT_EQ(form.OneToOne1->isEnabled(), !oneToOne);
        EXPECT_EQ(form.Fit1->isEnabled(), oneToOne);
        const QRect outer = XFrame(form);
        const QRect work = WorkArea();
        EXPECT_TRUE(work.contains(outer)) << "frame " << outer.x() << ',' << outer.y() << ' '
                                          << outer.width() << 'x' << outer.height();
        const TBitmap32& image = Bitmap();
        const QSize displayed = form.Image->DisplayedSize();
        if (oneToOne) {
            EXPECT_EQ(displayed, QSize(image.Width(), image.Height()));
        } else {
            const int toolbar = form.ToolbarShown() ? TKelvoImageForm::ToolbarHeight : 0;
            EXPECT_EQ(displayed, FittedImageSize(image.Width(), image.Height(), form.Image->width(),
                                            form.Image->height()));
            EXPECT_EQ(form.ClientHeight(), displayed.height() + toolbar)
                << "the window hugs the fitted picture";
            EXPECT_GT(displayed.width(), 0);
            EXPECT_GT(displayed.height(), 0);
        }
        // The picture may be cut only where the window has reached the work area's edge.
        const QSize visible = VisiblePicture(form);
        if (outer.width() < work.width()) EXPECT_EQ(visible.width(), displayed.width());
        if (outer.height() < work.height()) EXPECT_EQ(visible.height(), displayed.height());
        if (!oneToOne) EXPECT_EQ(visible, displayed) << "a fitted picture is always whole";
    }
};

// At Fit the window fills the work area's width from its top-left corner: the frame, title bar
// and all, is on the screen and reachable.
TEST_F(WindowSizing, FitPutsTheFrameAtTheWorkAreasTopLeftAcrossItsWidth) {
    for (const QByteArray& settings : {QByteArray(), QByteArray("[Pelly]\nTools=Yes\n")}) {
        SCOPED_TRACE(settings.isEmpty() ? "without the toolbar" : "with the toolbar");
        TKelvoImageForm& form = StartWithPicture(settings, 4000, 3000);
        const QRect outer = XFrame(form);
        const QRect work = WorkArea();
        EXPECT_EQ(outer.topLeft(), work.topLeft());
        // The window hugs the fitted picture: across the whole width for a picture the width
        // limits, down the whole height for one the height limits (the toolbar's room makes
        // this 4:3 picture one of those on a 5:4 screen).
        EXPECT_TRUE(outer.width() == work.width() || outer.height() == work.height())
            << outer.width() << 'x' << outer.height();
        EXPECT_LE(outer.bottom(), work.bottom());
        ExpectConsistent("after the start at Fit");
        FForm.reset();
    }
}

// The window manager announces its frame before the window is mapped, so the start sizes the
// window once: the frame that turns up is the one allowed for, and nothing is re-fitted (laid
// out and painted again) when it arrives.
TEST_F(WindowSizing, TheStartSizesTheWindowOnceForTheFrameAnnouncedAhead) {
    MarkRegistered();
    const QString name = MakeImage(QStringLiteral("picture.png"), 4000, 3000,
                                   [](int x, int y) { return qRgb(x % 256, y % 256, 90); });
    TKelvoImageForm& form = Start({name});
    const QSize sized = form.size();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(QTest::qWaitFor([&form] { return !form.FrameMargins().isNull(); }, 5000));
    Settle();
    const QRect outer = XFrame(form);
    EXPECT_EQ(form.size(), sized) << "re-sized when the frame arrived";
    EXPECT_EQ(outer.topLeft(), WorkArea().topLeft());
    EXPECT_EQ(outer.size(), form.size().grownBy(form.FrameMargins()));
    ExpectConsistent("after the start");
}

// A crop sizes the window as loading the cropped picture would: the whole picture below the
// menu bar and the toolbar, nothing hidden.
TEST_F(WindowSizing, ACropLeavesTheWholePictureInSight) {
    const struct {
        const char* label;
        QByteArray settings;
        QPoint from, to;
        bool small;  // the crop asks first
    } cases[] = {
        {"1:1, 100 x 300", "[Image]\nOneToOne=Yes\n", {100, 50}, {200, 350}, false},
        {"1:1, 60 x 200", "[Image]\nOneToOne=Yes\n", {10, 10}, {70, 210}, true},
        {"1:1 with the toolbar", "[Image]\nOneToOne=Yes\n[Pelly]\nTools=Yes\n", {0, 0},
         {100, 300}, false},
        {"Fit", "", {40, 40}, {300, 300}, false},
        {"Fit with the toolbar", "[Pelly]\nTools=Yes\n", {40, 40}, {300, 300}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.small) FDialogs.AnswerYes();
        StartWithPicture(c.settings, 600, 400);
        ExpectConsistent("after the start");
        const int widthBefore = Bitmap().Width();
        Crop(c.from, c.to);
        ASSERT_LT(Bitmap().Width(), widthBefore) << "the drag cropped";
        ExpectConsistent("after the crop");
        Form().Undo1->trigger();
        Settle();
        ExpectConsistent("after Undo");
        EXPECT_EQ(Bitmap().Width(), widthBefore);
        Form().Undo1->trigger();
        Settle();
        ExpectConsistent("after Undo again");
        FForm.reset();
    }
}

// The longer session: tone edits, pans, a free rotation, "&Undo" with the rotation window open,
// and the modes switched afterwards; every step leaves mode, view and window in agreement.
TEST_F(WindowSizing, UndoKeepsModeViewAndWindowInAgreement) {
    for (const QByteArray& settings : {QByteArray(), QByteArray("[Image]\nOneToOne=Yes\n")}) {
        SCOPED_TRACE(settings.isEmpty() ? "Fit" : "1:1");
        TKelvoImageForm& form = StartWithPicture(settings, 1800, 1200);
        ExpectConsistent("after the start");
        form.Negative1->trigger();
        Settle();
        ExpectConsistent("after Negative");
        form.PanView(1, 1);
        form.PanView(1, 0);
        form.Undo1->trigger();
        Settle();
        ExpectConsistent("after Undo of Negative, panned");

        form.Rotate1->trigger();
        Settle({&form, form.RotationTrackBarForm.get()});
        form.RotationTrackBarForm->TrackBar1->setValue(15);
        QTest::qWait(300);
        Settle({&form, form.RotationTrackBarForm.get()});
        ExpectConsistent("after a rotation");
        form.Undo1->trigger();
        Settle({&form, form.RotationTrackBarForm.get()});
        ExpectConsistent("after Undo with the rotation window open");
        form.RotationTrackBarForm->close();
        Settle();

        form.Fit1->trigger();
        Settle();
        ExpectConsistent("after Fit");
        form.OneToOne1->trigger();
        Settle();
        ExpectConsistent("after 1:1");
        form.Fit1->trigger();
        Settle();
        ExpectConsistent("after Fit again");

        // A crop at Fit, undone and redone.
        form.ImageMouseDown(Qt::LeftButton, {20, 20});
        form.ImageMouseMove({220, 160});
        form.ImageMouseUp(Qt::LeftButton, {220, 160});
        Settle();
        ExpectConsistent("after a crop at Fit");
        form.Undo1->trigger();
        Settle();
        ExpectConsistent("after its Undo");
        form.Undo1->trigger();
        Settle();
        ExpectConsistent("after Undo again");
        FForm.reset();
    }
}

}  // namespace
