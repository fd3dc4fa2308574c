// The mouse on the image, driven with real mouse events on the view: the selection and its
// crop, the right-drag pan, the readout and line length, and the click modes' press and
// release rules.

#include <QAction>
#include <QRubberBand>
#include <QScrollBar>
#include <QTest>

#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"

namespace {

class Pointer : public MainWindowFixture {
  protected:
    // A start with the registration questions behind; the view shows the image unscaled.
    TKelvoImageForm& StartShowing(int width, int height, const QByteArray& settings = {}) {
        MarkRegistered("[Image]\nOneToOne=Yes\n" + settings);
        TKelvoImageForm& form = Start();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        FillPattern(Bitmap(), width, height);
        form.OneToOne1Click();
        return form;
    }
    // Fitted into a view of exactly this size.
    void FitInto(int width, int height) {
        Form().Fit1Click();
        Form().FResizing = true;
        Form().SetClientHeight(height);
        Form().SetClientWidth(width);
        Form().FResizing = false;
        ASSERT_EQ(Form().Image->size(), QSize(width, height));
    }
    void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
        QWidget* view = Form().Image;
        QTest::mousePress(view, button, {}, from);
        QTest::mouseMove(view, (from + to) / 2);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, button, {}, to);
    }
    void Click(Qt::MouseButton button, QPoint at) { Drag(button, at, at); }
    // The pixels of the pattern from (left, top), w x h.
    static bool ShowsPatternPart(const TBitmap32& image, int left, int top, int w, int h) {
        if (image.Width() != w || image.Height() != h) return false;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (image.GetPixel(x, y) != PatternColor(left + x, top + y)) return false;
        return true;
    }
};

TEST_F(Pointer, LeftDragCropsBySizeAndAsksForSmallSelections) {
    struct Case {
        const char* name;
        QPoint from, to;
        enum { None, Yes, No } answer;
        bool crops;
        QRect kept;
    };
    const Case cases[] = {
        {"9 x 200: a click, no question", {20, 10}, {29, 210}, Case::None, false, {}},
        {"74 x 200, Yes", {20, 10}, {94, 210}, Case::Yes, true, {20, 10, 74, 200}},
        {"74 x 200, No", {20, 10}, {94, 210}, Case::No, false, {}},
        {"75 x 75 without a question", {20, 10}, {95, 85}, Case::None, true, {20, 10, 75, 75}},
        {"dragged from bottom-right to top-left",
         {95, 85},
         {20, 10},
         Case::None,
         true,
         {20, 10, 75, 75}},
        {"released right of and below the image",
         {130, 120},
         {400, 400},
         Case::None,
         true,
         {130, 120, 90, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TKelvoImageForm& form = StartShowing(220, 220);
        if (c.answer == Case::Yes) FDialogs.AnswerYes();
        if (c.answer == Case::No) FDialogs.AnswerNo();
        const int asked = int(FDialogs.Prompts().size());
        Drag(Qt::LeftButton, c.from, c.to);
        EXPECT_EQ(int(FDialogs.Prompts().size()) - asked, c.answer == Case::None ? 0 : 1);
        if (c.answer != Case::None) {
            EXPECT_EQ(FDialogs.Prompts().back(),
                      QStringLiteral("The selected sub-image is pretty small: are you sure?"));
        }
        if (c.crops) {
            EXPECT_TRUE(ShowsPatternPart(Bitmap(), c.kept.x(), c.kept.y(), c.kept.width(),
                                         c.kept.height()));
            EXPECT_EQ(form.ClientWidth(), std::max(c.kept.width(), 365));
            EXPECT_EQ(form.ClientHeight(), c.kept.height());
        } else {
            EXPECT_TRUE(ShowsPatternPart(Bitmap(), 0, 0, 220, 220));
        }
        EXPECT_FALSE(form.FScreenDC->isVisible()) << "the outline goes at the release";
        EXPECT_EQ(form.FPressButton, Qt::MiddleButton);
        EXPECT_EQ(form.FSelRight, -1);
        FForm.reset();
    }
}

TEST_F(Pointer, OutlineIsABandInsideTheViewThatFollowsThePointer) {
    TKelvoImageForm& form = StartShowing(220, 220);
    QWidget* view = form.Image;
    QTest::mousePress(view, Qt::LeftButton, {}, {100, 90});
    ASSERT_TRUE(form.FScreenDC->isVisible());
    EXPECT_EQ(form.FScreenDC->parentWidget(), view);
    QTest::mouseMove(view, {40, 150});
    EXPECT_EQ(form.FScreenDC->geometry(), QRect(QPoint(40, 90), QPoint(100, 150)));
    QTest::mouseMove(view, {160, 30});
    EXPECT_EQ(form.FScreenDC->geometry(), QRect(QPoint(100, 30), QPoint(160, 90)));
    QTest::mouseRelease(view, Qt::LeftButton, {}, {101, 91});
    EXPECT_FALSE(form.FScreenDC->isVisible());
}

TEST_F(Pointer, DragsMapThroughTheScaleShown) {
    {
        SCOPED_TRACE("fitted at half size: 40 x 40 on screen is 80 x 80 of the image");
        StartShowing(800, 600);
        FitInto(400, 300);
        Drag(Qt::LeftButton, {10, 10}, {50, 50});
        EXPECT_TRUE(FDialogs.Prompts().isEmpty());
        EXPECT_TRUE(ShowsPatternPart(Bitmap(), 20, 20, 80, 80));
        FForm.reset();
    }
    {
        SCOPED_TRACE("Fit stored but not yet chosen: the image is shown unscaled");
        MarkRegistered("[Image]\nOneToOne=No\n");
        Start();
        FillPattern(Bitmap(), 300, 300);
        ASSERT_FALSE(Form().FOneToOne);
        ASSERT_EQ(Form().Image->ScaleMode(), TScaleMode::smNormal);
        Drag(Qt::LeftButton, {10, 20}, {100, 110});
        EXPECT_TRUE(ShowsPatternPart(Bitmap(), 10, 20, 90, 90));
    }
}

TEST_F(Pointer, UndoAfterACropRestoresImageAndWindow) {
    TKelvoImageForm& form = StartShowing(220, 220);
    const QRect before = form.frameGeometry();
    Drag(Qt::LeftButton, {10, 10}, {110, 110});
    ASSERT_TRUE(ShowsPatternPart(Bitmap(), 10, 10, 100, 100));
    form.Undo1->trigger();
    EXPECT_TRUE(ShowsPatternPart(Bitmap(), 0, 0, 220, 220));
    EXPECT_EQ(form.frameGeometry().size(), before.size());
}

TEST_F(Pointer, PlainClicksKeepTheUndoSnapshot) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(int(button));
        TKelvoImageForm& form = StartShowing(100, 80);
        form.HalfButton->trigger();
        ASSERT_EQ(Bitmap().Width(), 50);
        Click(button, {20, 20});
        EXPECT_EQ(Bitmap().Width(), 50) << "a click changes nothing";
        form.Undo1->trigger();
        EXPECT_TRUE(ShowsPatternPart(Bitmap(), 0, 0, 100, 80)) << "Undo takes the edit back";
        EXPECT_TRUE(FDialogs.Log().isEmpty());
        FForm.reset();
    }
}

TEST_F(Pointer, ImageReplacedDuringTheQuestionIsNotCropped) {
    // The slideshow loads the next picture while the question is open.
    class ReplacingDialogs : public ScriptedDialogs {
      public:
        std::function<void()> During;
        int ChooseButton(const QString& prompt, const QStringList& captions,
                         int helpContext) override {
            if (During) During();
            return ScriptedDialogs::ChooseButton(prompt, captions, helpContext);
        }
    } dialogs;
    StartShowing(220, 220);
    dialogs.During = [this] { Bitmap().Clear(0x00123456u); };
    dialogs.AnswerYes();
    Drag(Qt::LeftButton, {10, 10}, {50, 50});
    EXPECT_EQ(Bitmap().Width(), 220);
    EXPECT_EQ(Bitmap().Height(), 220);
    EXPECT_EQ(Bitmap().GetPixel(5, 5), 0x00123456u);
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(Pointer, RightDragPansOnlyAt1To1) {
    TKelvoImageForm& form = StartShowing(3000, 2500);
    ASSERT_LT(form.ClientWidth(), 3000);
    QWidget* view = form.Image;
    QTest::mousePress(view, Qt::RightButton, {}, {300, 300});
    QTest::mouseMove(view, {250, 260});
    EXPECT_EQ(form.HorzScrollBar->value(), 50);
    EXPECT_EQ(form.VertScrollBar->value(), 40);
    EXPECT_TRUE(form.FPanned);
    // The grabbed point stays under the pointer, so the view's coordinates of the next move
    // are those the scrolled view gives it.
    QTest::mouseMove(view, {-5000, -5000});
    QTest::mouseRelease(view, Qt::RightButton, {}, {-5000, -5000});
    EXPECT_EQ(form.HorzScrollBar->value(), form.HorzScrollBar->maximum());
    EXPECT_EQ(form.VertScrollBar->value(), form.VertScrollBar->maximum());
    EXPECT_EQ(Bitmap().Width(), 3000) << "a right drag never crops";
    FForm.reset();

    TKelvoImageForm& fitted = StartShowing(800, 600);
    FitInto(400, 300);
    Drag(Qt::RightButton, {300, 250}, {100, 50});
    EXPECT_FALSE(fitted.FPanned);
    EXPECT_EQ(fitted.HorzScrollBar->value(), 0);
    EXPECT_EQ(fitted.VertScrollBar->value(), 0);
}

TEST_F(Pointer, PixelReadoutFollowsThePointerWhileChecked) {
    TKelvoImageForm& form = StartShowing(100, 80);
    Bitmap().SetPixel(10, 20, 0x00FF8000u);
    QTest::mouseMove(form.Image, {10, 20});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:   <255R,128G,0B> [383] at [10, 20]"));
    QTest::mouseMove(form.Image, {300, 20});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: ")) << "off the image: no readout";

    form.ShowPixelValues1->trigger();
    EXPECT_EQ(Setting("Confirmations", "ShowPixels"), QStringLiteral("N"));
    QTest::mouseMove(form.Image, {10, 20});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: "));
    form.ShowPixelValues1->trigger();
    EXPECT_EQ(Setting("Confirmations", "ShowPixels"), QStringLiteral("Y"));
}

TEST_F(Pointer, LineLengthIsMeasuredInImagePixelsFromTheLastClick) {
    TKelvoImageForm& form = StartShowing(800, 600, "[Confirmations]\nShowPixels=N\n");
    QTest::mouseMove(form.Image, {40, 40});
    EXPECT_FALSE(form.Caption().contains(QStringLiteral("Len="))) << "no click yet";
    Click(Qt::LeftButton, {10, 10});
    QTest::mouseMove(form.Image, {13, 14});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:   Len=5"));
    QTest::mouseMove(form.Image, {16, 18});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:   Len=10"));

    FitInto(400, 300);
    Click(Qt::LeftButton, {10, 10});
    QTest::mouseMove(form.Image, {13, 14});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:   Len=10")) << "same line, half scale";

    form.ShowLineLengths1->trigger();
    EXPECT_EQ(Setting("Confirmations", "ShowLineLengths"), QStringLiteral("N"));
    QTest::mouseMove(form.Image, {14, 14});
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: "));
}

// The press and release rules of the click modes, with the corrections' effect left to their
// own tests: only which mode is served and what stays armed is looked at here.
TEST_F(Pointer, ClickModesArmServeAndDisarm) {
    TKelvoImageForm& form = StartShowing(100, 80, "[Confirmations]\nShowPixels=N\n");
    QWidget* view = form.Image;
    Bitmap().SetPixel(10, 10, 0x00406080u);  // a white reference without a zero channel

    form.MakeWhite1->trigger();
    form.Subtract1->trigger();
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:  [Click on White]"));
    QTest::mousePress(view, Qt::LeftButton, {}, {300, 10});
    QTest::mouseRelease(view, Qt::LeftButton, {}, {300, 10});
    EXPECT_TRUE(form.FMakeWhiteMode) << "a press outside the image leaves the mode armed";
    Click(Qt::RightButton, {10, 10});
    EXPECT_FALSE(form.FMakeWhiteMode);
    EXPECT_TRUE(form.FSubtractMode);
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:  [Click on Subtract]"));
    Click(Qt::LeftButton, {10, 10});
    EXPECT_FALSE(form.FSubtractMode);
    EXPECT_EQ(Bitmap().Width(), 100) << "served presses start no selection";

    FillPattern(Bitmap(), 100, 80);
    form.MakeBlackWhite1->trigger();
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:  [Click on Black]"));
    QTest::mousePress(view, Qt::LeftButton, {}, {5, 6});
    QTest::mouseRelease(view, Qt::LeftButton, {}, {300, 6});
    EXPECT_TRUE(form.FBlackWhiteStep1) << "released outside: still waiting for black";
    Click(Qt::LeftButton, {7, 8});
    EXPECT_EQ(form.FBlackPoint, PatternColor(7, 8));
    EXPECT_TRUE(form.FBlackWhiteStep2);
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage:  [Click on White]"));

    form.MakeGrey1->trigger();
    form.RemoveColorCast1->trigger();
    form.Subtract1->trigger();
    form.Undo1->trigger();
    EXPECT_FALSE(form.FBlackWhiteStep2);
    EXPECT_TRUE(form.FMakeGreyMode && form.FRemoveCastMode && form.FSubtractMode)
        << "Undo leaves these armed";
}

}  // namespace
