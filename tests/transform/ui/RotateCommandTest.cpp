// "Rotate" on its slider window: the window it opens, the caption and the re-apply from the kept
// source a tick after a move, the focus handed back to the slider, Undo, and a close right after
// a move.

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QSlider>
#include <QTimer>
#include <QTimerEvent>

#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"
#include "transform/ui/RotationTrackBarForm.h"

namespace {

class RotateCommand : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        // The slider settings file lives in the configuration folder.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(SliderSettingsFileName()).absolutePath()));
    }
    TRotationTrackBarForm& Window() { return *Form().RotationTrackBarForm; }
    QSlider& Slider() { return *Window().TrackBar1; }
    // Opens the window on a W x H pattern, the way the user does.
    void OpenOn(int width, int height) {
        MarkRegistered("[Image]\nOneToOne=Yes\n");
        Start();
        FillPattern(Bitmap(), width, height);
        FillPattern(FOriginal, width, height);
        Form().Rotate1->trigger();
        ASSERT_TRUE(Window().isVisible());
    }
    // The timer is handed its tick, so no test waits for real time to pass.
    void Tick() {
        QTimerEvent tick(Window().Timer1->timerId());
        QCoreApplication::sendEvent(Window().Timer1, &tick);
    }
    // The original turned by 180 degrees: upside down and mirrored.
    bool IsHalfTurnOfOriginal() {
        const int w = FOriginal.Width();
        const int h = FOriginal.Height();
        if (Bitmap().Width() != w || Bitmap().Height() != h) return false;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (Bitmap().GetPixel(x, y) != FOriginal.GetPixel(w - 1 - x, h - 1 - y))
                    return false;
        return true;
    }

    TBitmap32 FOriginal;
};

TEST_F(RotateCommand, OpensTheRotationWindowAsDesignedWithoutChangingTheImage) {
    OpenOn(7, 5);
    EXPECT_EQ(Window().windowTitle(), QStringLiteral("RotationTrackBarForm"));
    EXPECT_EQ(Slider().minimum(), -180);
    EXPECT_EQ(Slider().maximum(), 180);
    EXPECT_EQ(Slider().singleStep(), 1);
    EXPECT_EQ(Slider().pageStep(), 5);
    EXPECT_EQ(Slider().tickInterval(), 5);
    EXPECT_EQ(Window().size(), QSize(456, 48));
    EXPECT_EQ(Slider().width(), 457);
    EXPECT_EQ(Window().pos(), QPoint(263, 140));
    EXPECT_FALSE(Window().Timer1->isActive());
    EXPECT_TRUE(SamePixels(Bitmap(), FOriginal));
    EXPECT_TRUE(SamePixels(Form().FUndoImage, FOriginal));
    EXPECT_TRUE(SamePixels(Form().FSliderSource, FOriginal));
}

TEST_F(RotateCommand, EachTickRendersAgainFromTheKeptSourceAndCaptionsTheAngle) {
    OpenOn(6, 4);
    const struct {
        int position;
        const char* caption;
    } moves[] = {
        {-15, "Rotation - use arrow keys (-15.00 degrees)"},
        {90, "Rotation - use arrow keys (90.00 degrees)"},
        // Turns that accumulated would stand at 270 degrees here.
        {180, "Rotation - use arrow keys (180.00 degrees)"},
    };
    for (const auto& move : moves) {
        SCOPED_TRACE(move.position);
        Slider().setValue(move.position);
        EXPECT_TRUE(Window().Timer1->isActive());
        Slider().clearFocus();
        Tick();
        // The window's own focus child: whether the window manager activates it is its own.
        EXPECT_EQ(Window().focusWidget(), &Slider());
        EXPECT_FALSE(Window().Timer1->isActive());
        EXPECT_EQ(Window().windowTitle(), QString::fromUtf8(move.caption));
        EXPECT_EQ(Bitmap().Width(), 6);
        EXPECT_EQ(Bitmap().Height(), 4);
        EXPECT_TRUE(SamePixels(Form().FSliderSource, FOriginal));
        EXPECT_TRUE(SamePixels(Form().FUndoImage, FOriginal));
    }
    EXPECT_TRUE(IsHalfTurnOfOriginal());
    EXPECT_FALSE(Form().Busy());
}

TEST_F(RotateCommand, UndoAfterClosingReturnsToTheImageAsOpened) {
    OpenOn(6, 4);
    Slider().setValue(180);
    Tick();
    ASSERT_TRUE(IsHalfTurnOfOriginal());
    const QRect frame = Form().frameGeometry();
    EXPECT_EQ(Form().FUndoBounds.Width, frame.width());
    EXPECT_EQ(Form().FUndoBounds.Height, frame.height());
    Window().close();
    EXPECT_TRUE(IsHalfTurnOfOriginal()) << "closing keeps the last rendering";
    Form().Undo1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), FOriginal));
}

TEST_F(RotateCommand, ClosingWithinTheIntervalOfAMoveLeavesNoReapplyBehind) {
    OpenOn(6, 4);
    Slider().setValue(180);
    ASSERT_TRUE(Window().Timer1->isActive());
    Window().close();
    EXPECT_FALSE(Window().Timer1->isActive()) << "a late re-apply would open the window again";
    EXPECT_FALSE(Window().isVisible());
    EXPECT_TRUE(SamePixels(Bitmap(), FOriginal));
    EXPECT_EQ(TIniFile(SliderSettingsFileName())
                  .ReadInteger(QStringLiteral("Rotation"), QStringLiteral("Value"), 0),
              180);
}

TEST_F(RotateCommand, AStoredAngleIsAppliedATickAfterTheWindowOpens) {
    {
        TIniFile settings(SliderSettingsFileName());
        settings.WriteInteger(QStringLiteral("Rotation"), QStringLiteral("Value"), 180);
    }
    OpenOn(5, 3);
    EXPECT_EQ(Slider().value(), 180);
    EXPECT_TRUE(SamePixels(Bitmap(), FOriginal)) << "nothing happens before the tick";
    Tick();
    EXPECT_TRUE(IsHalfTurnOfOriginal());
}

}  // namespace
