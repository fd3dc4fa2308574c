// The "Brightness", "Contrast" and "Make Black and White" slider adjustments in the main
// window: each re-apply starts again from the kept source, the captions, the charts, the
// stored positions, undo, and the two ways an adjustment must end without a stray re-apply
// (the window closed within the interval of a move, another file loaded while it is open).

#include <QApplication>
#include <QSlider>
#include <QTest>
#include <functional>

#include "tone/ToneCorrections.h"
#include "tone/ui/ToneTestWindow.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"

namespace {

class ToneSliders : public ToneWindowFixture {
  protected:
    // Moves the slider and runs the re-apply the move started.
    void MoveTo(TTrackBarToolForm& window, int position) {
        window.TrackBar1->setValue(position);
        Tick(window.Timer1);
    }
    QString StoredSlider(const char* section) const {
        return TIniFile(SliderSettingsFileName())
            .ReadString(QLatin1String(section), QStringLiteral("Value"),
                        QStringLiteral("<absent>"));
    }
};

using Item = QAction* TKelvoImageForm::*;

TEST_F(ToneSliders, AStoredBrightnessIsAppliedOnTheFirstTickAfterTheWindowOpens) {
    WriteSliderSettings("[Brightness]\nValue=30\n");
    TKelvoImageForm& form = StartWithPicture();
    const TBitmap32 original = CopyOf(Bitmap());
    TBrightnessTrackBarForm& window = *form.BrightnessTrackBarForm;

    form.Brightness1->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.TrackBar1->value(), 30);
    EXPECT_TRUE(SamePixels(Bitmap(), original)) << "opening the window changes nothing";
    EXPECT_TRUE(SamePixels(form.FUndoImage, original));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("BrightnessTrackBarForm"));

    Tick(window.Timer1);
    TBitmap32 expected = CopyOf(original);
    AdjustBrightness(expected, 30);
    EXPECT_TRUE(SamePixels(Bitmap(), expected));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Brightness (1.30)"));
    ExpectBefore(HistogramOf(original));
    ExpectAfter(HistogramOf(expected));
    EXPECT_TRUE(Points(Graph().BarSeries1).empty()) << "brightness plots no transfer table";
    EXPECT_EQ(Graph().height(), 762);
    EXPECT_FALSE(form.Busy());
}

TEST_F(ToneSliders, TheStoredPositionIsAppliedAboutATenthOfASecondLater) {
    WriteSliderSettings("[Brightness]\nValue=30\n");
    TKelvoImageForm& form = StartWithPicture();
    const TBitmap32 original = CopyOf(Bitmap());
    form.Brightness1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), original));
    TBitmap32 expected = CopyOf(original);
    AdjustBrightness(expected, 30);
    EXPECT_TRUE(QTest::qWaitFor([&] { return SamePixels(Bitmap(), expected); }, 5000));
}

TEST_F(ToneSliders, BrightnessMovesAlwaysStartFromTheKeptSource) {
    TKelvoImageForm& form = StartWithPicture();
    const TBitmap32 original = CopyOf(Bitmap());
    TBrightnessTrackBarForm& window = *form.BrightnessTrackBarForm;
    form.Brightness1->trigger();
    const struct {
        int position;
        const char* caption;
    } moves[] = {{50, "Brightness (1.50)"},
                 {-100, "Brightness (0.00)"},
                 {100, "Brightness (2.00)"},
                 {0, "Brightness (1.00)"}};
    for (const auto& move : moves) {
        SCOPED_TRACE(move.position);
        MoveTo(window, move.position);
        TBitmap32 expected = CopyOf(original);
        AdjustBrightness(expected, move.position);
        EXPECT_TRUE(SamePixels(Bitmap(), expected));
        EXPECT_EQ(window.windowTitle(), QLatin1String(move.caption));
        ExpectBefore(HistogramOf(original));
    }
    // Back at 0 the colours are the source's exactly; only alpha is the tone commands' 0.
    for (int i = 0; i < original.Width() * original.Height(); ++i)
        ASSERT_EQ(Bitmap().Bits()[i], original.Bits()[i] & 0x00FFFFFFu) << i;

    // Hiding ends the adjustment: the result stays, the position is stored, and undo goes
    // back to the picture as it was when the window opened.
    MoveTo(window, 20);
    const TBitmap32 result = CopyOf(Bitmap());
    window.close();
    EXPECT_TRUE(SamePixels(Bitmap(), result));
    EXPECT_EQ(StoredSlider("Brightness"), QStringLiteral("20"));
    form.Undo1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), original));
}

TEST_F(ToneSliders, ContrastReAppliesItsTableFromItsOwnSource) {
    TKelvoImageForm& form = StartWithPicture();
    const TBitmap32 original = CopyOf(Bitmap());
    TContrastTrackBarForm& window = *form.ContrastTrackBarForm;
    form.Contrast1->trigger();
    ASSERT_TRUE(window.isVisible());
    const struct {
        int position;
        const char* caption;
    } moves[] = {{40, "Contrast (1.40)"},
                 {-100, "Contrast (0.00)"},
                 {-35, "Contrast (0.65)"},
                 {0, "Contrast (1.00)"}};
    for (const auto& move : moves) {
        SCOPED_TRACE(move.position);
        MoveTo(window, move.position);
        TBitmap32 expected = CopyOf(original);
        TToneGraphs graphs;
        AdjustContrast(expected, move.position, &graphs);
        EXPECT_TRUE(SamePixels(Bitmap(), expected));
        EXPECT_EQ(window.windowTitle(), QLatin1String(move.caption));
        ExpectBefore(graphs.Before);
        EXPECT_EQ(Points(Graph().BarSeries1), Values(graphs.Transfer));
        ExpectAfter(graphs.After);
        EXPECT_TRUE(SamePixels(form.FUndoImage, original));
    }
    // "&Undo" or another command in the middle of the adjustment, then a move: the snapshot is
    // taken again from the source, so undo still leads back to the picture the window opened on.
    form.Undo1->trigger();
    MoveTo(window, 60);
    EXPECT_TRUE(SamePixels(form.FUndoImage, original));
    form.Negative1->trigger();
    MoveTo(window, 30);
    EXPECT_TRUE(SamePixels(form.FUndoImage, original));
    // Two moves in a row: the second finds the snapshot still the source.
    MoveTo(window, 20);
    EXPECT_TRUE(SamePixels(form.FUndoImage, original));
    window.close();
    form.Undo1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), original));
}

TEST_F(ToneSliders, TheBlackAndWhiteCutoffAlwaysThresholdsTheKeptSource) {
    TKelvoImageForm& form = StartWithPicture();
    const TBitmap32 original = CopyOf(Bitmap());
    TBWTrackBarForm& window = *form.BWTrackBarForm;
    form.MakeBlackandWhite1->trigger();
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.TrackBar1->value(), 200) << "the default cutoff";
    Tick(window.Timer1);
    // A cutoff below the last one turns pixels white that the last result had made black: it
    // can only come from the source.
    const int cutoffs[] = {200, 100, 255, 0, 130};
    for (const int cutoff : cutoffs) {
        SCOPED_TRACE(cutoff);
        if (cutoff != 200) MoveTo(window, cutoff);
        TBitmap32 expected = CopyOf(original);
        BlackAndWhite(expected, cutoff);
        EXPECT_TRUE(SamePixels(Bitmap(), expected));
        EXPECT_EQ(window.windowTitle(), QStringLiteral("B/W cutoff (%1)").arg(cutoff));
        ExpectBefore(HistogramOf(original));
        ExpectAfter(HistogramOf(expected));
        EXPECT_TRUE(Points(Graph().BarSeries1).empty());
    }
    window.close();
    EXPECT_EQ(StoredSlider("BW"), QStringLiteral("130"));
    form.Undo1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), original));
}

// The slider keeps the window's focus through every re-apply, so the arrow keys move it next.
// (That the window keeps the keyboard itself is tested under a window manager, in tests/wm/:
// offscreen, the graph window shown by the re-apply is made active as every shown window is.)
TEST_F(ToneSliders, TheSliderKeepsTheWindowsFocusThroughEachReApply) {
    TKelvoImageForm& form = StartWithPicture();
    form.Brightness1->trigger();
    EXPECT_EQ(form.BrightnessTrackBarForm->focusWidget(), form.BrightnessTrackBarForm->TrackBar1);
    MoveTo(*form.BrightnessTrackBarForm, 10);
    QApplication::processEvents();
    EXPECT_EQ(form.BrightnessTrackBarForm->focusWidget(), form.BrightnessTrackBarForm->TrackBar1);
}

// Each slider window, opened from its item, with the source it keeps.
struct SliderCase {
    const char* name;
    Item item;
    std::function<TTrackBarToolForm&(TKelvoImageForm&)> window;
    TBitmap32 TKelvoImageForm::*source;
};
const SliderCase kSliders[] = {
    {"Brightness", &TKelvoImageForm::Brightness1,
     [](TKelvoImageForm& f) -> TTrackBarToolForm& { return *f.BrightnessTrackBarForm; },
     &TKelvoImageForm::FSliderSource},
    {"Contrast", &TKelvoImageForm::Contrast1,
     [](TKelvoImageForm& f) -> TTrackBarToolForm& { return *f.ContrastTrackBarForm; },
     &TKelvoImageForm::FContrastSource},
    {"Make Black and White", &TKelvoImageForm::MakeBlackandWhite1,
     [](TKelvoImageForm& f) -> TTrackBarToolForm& { return *f.BWTrackBarForm; },
     &TKelvoImageForm::FSliderSource},
    // The free rotation shares the slider windows' life: a close or a load ends it alike.
    {"Rotate", &TKelvoImageForm::Rotate1,
     [](TKelvoImageForm& f) -> TTrackBarToolForm& { return *f.RotationTrackBarForm; },
     &TKelvoImageForm::FSliderSource},
};

TEST_F(ToneSliders, ClosingWithinTheIntervalOfAMoveRunsNoReApply) {
    for (const SliderCase& c : kSliders) {
        SCOPED_TRACE(c.name);
        TKelvoImageForm& form = StartWithPicture();
        const TBitmap32 original = CopyOf(Bitmap());
        TTrackBarToolForm& window = c.window(form);
        (form.*c.item)->trigger();
        if (window.Timer1->isActive()) Tick(window.Timer1);  // the stored position, applied
        const TBitmap32 applied = CopyOf(Bitmap());
        window.TrackBar1->setValue(window.TrackBar1->value() == 50 ? 60 : 50);
        ASSERT_TRUE(window.Timer1->isActive());
        window.close();
        // Past the interval: a re-apply on the hidden window would open it again and take a
        // new snapshot of the last result.
        QTest::qWait(250);
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(SamePixels(Bitmap(), applied));
        EXPECT_TRUE(SamePixels(form.FUndoImage, original));
        EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join("|").toStdString();
    }
}

TEST_F(ToneSliders, LoadingAnotherFileEndsTheAdjustment) {
    const QString first =
        MakeImage(QStringLiteral("a.png"), 20, 10, [](int x, int y) { return Colour(x, y); });
    const QString second =
        MakeImage(QStringLiteral("b.png"), 12, 14, [](int x, int y) { return Colour(y + 3, x); });
    struct Load {
        const char* name;
        std::function<void(TKelvoImageForm&)> run;
    };
    const Load loads[] = {
        {"Open",
         [&](TKelvoImageForm& f) {
             FDialogs.AnswerFile(second);
             f.OpenButton->trigger();
         }},
        {"Next",
         [&](TKelvoImageForm& f) {
             f.FFileList = {first, second};
             f.FFileIndex = 0;
             f.Next1Click();
         }},
        {"Prev",
         [&](TKelvoImageForm& f) {
             f.FFileList = {second, first};
             f.FFileIndex = 1;
             f.PriorSBClick();
         }},
        {"slideshow",
         [&](TKelvoImageForm& f) {
             f.FFileList = {first, second};
             f.FFileIndex = 1;
             f.FMoviePlaying = true;
             f.MovieTimerTimer();
             f.FMoviePlaying = false;
         }},
    };
    for (const SliderCase& c : kSliders) {
        for (const Load& load : loads) {
            SCOPED_TRACE(std::string(c.name) + ", " + load.name);
            MarkRegistered("[Image]\nOneToOne=Yes\n");
            TKelvoImageForm& form = Start({first});
            TTrackBarToolForm& window = c.window(form);
            (form.*c.item)->trigger();
            if (window.Timer1->isActive()) Tick(window.Timer1);
            MoveTo(window, 20);
            window.TrackBar1->setValue(40);  // a move still waiting for its tick
            load.run(form);
            ASSERT_EQ(form.CurrentFileName(), second);
            ASSERT_EQ(Bitmap().Width(), 12);
            const TBitmap32 loaded = CopyOf(Bitmap());
            EXPECT_FALSE(window.isVisible());
            EXPECT_FALSE(window.Timer1->isActive());
            QTest::qWait(150);
            EXPECT_TRUE(SamePixels(Bitmap(), loaded));

            // The next adjustment keeps the new picture.
            (form.*c.item)->trigger();
            EXPECT_TRUE(window.isVisible());
            EXPECT_TRUE(SamePixels(form.*c.source, loaded));
            MoveTo(window, 10);
            EXPECT_EQ(Bitmap().Width(), 12);
            EXPECT_EQ(Bitmap().Height(), 14);
            window.close();
            EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join("|").toStdString();
        }
    }
}

}  // namespace
