// Display modes, resampling commands, the window-sizing rule and panning of the main window.

#include <QAction>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "support/ui/MainWindowFixture.h"

namespace {

class ZoomFit : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartWith(const QByteArray& settings = {}) {
        MarkRegistered(settings);
        return Start();
    }
    // Puts an image of this size in the view as a load would, without a file.
    void SetImage(int width, int height, TColor32 color = 0xFF808080u) {
        Bitmap().SetSize(width, height);
        Bitmap().Clear(color);
    }
    // The client size as the user might leave it, without the sizing rule running.
    void SetClientByHand(int width, int height) {
        Form().FResizing = true;
        Form().SetClientHeight(height);
        Form().SetClientWidth(width);
        Form().FResizing = false;
    }
};

TEST_F(ZoomFit, FitShowsALargePhotoAtTheHeightOfTheViewAndHugsIt) {
    struct Case {
        const char* name;
        bool toolbar;
    };
    for (const Case& c : {Case{"toolbar hidden", false}, Case{"toolbar shown", true}}) {
        SCOPED_TRACE(c.name);
        TKelvoImageForm& form = StartWith(c.toolbar ? "[Pelly]\nTools=Yes\n" : "");
        form.Fit1->trigger();
        SetImage(4000, 3000);
        const int toolbar = c.toolbar ? 30 : 0;
        SetClientByHand(800, 500 + toolbar);
        ASSERT_EQ(form.Image->size(), QSize(800, 500));
        EXPECT_EQ(form.Image->DisplayedSize(), QSize(667, 500));
        form.ResizeForm();
        EXPECT_EQ(form.ClientWidth(), 667);
        EXPECT_EQ(form.ClientHeight(), 500 + toolbar);
        FForm.reset();
    }
}

TEST_F(ZoomFit, FitEnlargesASmallImage) {
    TKelvoImageForm& form = StartWith();
    form.Fit1->trigger();
    SetImage(100, 50);
    SetClientByHand(800, 600);
    EXPECT_EQ(form.Image->DisplayedSize(), QSize(800, 400));
}

TEST_F(ZoomFit, MinimumWidthAndToolbarRoomIn1To1Mode) {
    struct Case {
        const char* name;
        QByteArray settings;
        int clientWidth;
        int clientHeight;
    };
    const Case cases[] = {
        {"toolbar hidden", "[Image]\nOneToOne=Yes\n", 365, 100},
        {"toolbar shown: room for the toolbar above the image",
         "[Image]\nOneToOne=Yes\n[Pelly]\nTools=Yes\n", 596, 130},
    };
    const QString small = MakeFilledImage(QStringLiteral("small.png"), 200, 100, qRgb(9, 9, 9));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MarkRegistered(c.settings);
        TKelvoImageForm& form = Start({small});
        EXPECT_EQ(form.ClientWidth(), c.clientWidth);
        EXPECT_EQ(form.ClientHeight(), c.clientHeight);
        // The whole image is visible below the toolbar.
        EXPECT_GE(form.Image->height(), 100);
        FForm.reset();
    }
}

TEST_F(ZoomFit, ASizeTheUserSetIsKeptIn1To1ModeWithTheToolbar) {
    TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n[Pelly]\nTools=Yes\n");
    SetImage(300, 200);
    form.OneToOne1Click();
    EXPECT_EQ(form.ClientHeight(), 230);
    // The user drags the border: the resize event runs the rule, which keeps the size.
    form.SetClientHeight(250);
    EXPECT_EQ(form.ClientHeight(), 250);
    form.SetClientWidth(700);
    EXPECT_EQ(form.ClientWidth(), 700);
    EXPECT_EQ(form.ClientHeight(), 250);
    form.ResizeForm();
    EXPECT_EQ(form.ClientHeight(), 250);
}

TEST_F(ZoomFit, DisplayItemsFollowTheMode) {
    TKelvoImageForm& form = StartWith();
    const auto states = [&form] {
        return QList<bool>{form.DoubleButton->isEnabled(),  form.HalfButton->isEnabled(),
                           form.QuarterButton->isEnabled(), form.OneToOne1->isEnabled(),
                           form.Fit1->isEnabled(),          form.PanSpeed1->isEnabled()};
    };
    EXPECT_EQ(states(), QList<bool>({true, true, true, true, true, true}));
    form.OneToOne1->trigger();
    EXPECT_EQ(states(), QList<bool>({true, true, true, false, true, true}));
    EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("Yes"));
    form.Fit1->trigger();
    EXPECT_EQ(states(), QList<bool>({false, false, false, true, false, true}));
    EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("No"));
}

TEST_F(ZoomFit, EnterSwitchesTheModeAndTwicePressedReturns) {
    TKelvoImageForm& form = StartWith();
    ASSERT_FALSE(form.FOneToOne);
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_TRUE(form.FOneToOne);
    EXPECT_EQ(form.Image->ScaleMode(), TScaleMode::smNormal);
    EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("Yes"));
    QTest::keyClick(&form, Qt::Key_Enter);
    EXPECT_FALSE(form.FOneToOne);
    EXPECT_EQ(form.Image->ScaleMode(), TScaleMode::smResize);
    EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("No"));
}

TColor32 Rgb(int r, int g, int b, int a = 0) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | TColor32(b);
}

TEST_F(ZoomFit, HalfAveragesBlocksAndDropsTheRaggedEdge) {
    TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n");
    form.OneToOne1Click();
    SetImage(5, 3, Rgb(255, 255, 255, 255));
    Bitmap().SetPixel(0, 0, Rgb(10, 20, 30, 255));
    Bitmap().SetPixel(1, 0, Rgb(11, 21, 31, 255));
    Bitmap().SetPixel(0, 1, Rgb(12, 22, 32, 255));
    Bitmap().SetPixel(1, 1, Rgb(13, 23, 34, 255));
    form.HalfButton->trigger();
    ASSERT_EQ(Bitmap().Width(), 2);
    ASSERT_EQ(Bitmap().Height(), 1);
    EXPECT_EQ(Bitmap().GetPixel(0, 0), Rgb(11, 21, 31));
    EXPECT_EQ(Bitmap().GetPixel(1, 0), Rgb(255, 255, 255));
    EXPECT_EQ(form.FUndoImage.Width(), 5);
    EXPECT_EQ(form.FUndoImage.Height(), 3);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ZoomFit, QuarterOfATinyImageIsEmptyAndTheSnapshotKeepsIt) {
    TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n");
    form.OneToOne1Click();
    SetImage(3, 3, Rgb(1, 2, 3, 255));
    form.QuarterButton->trigger();
    EXPECT_TRUE(Bitmap().Empty());
    ASSERT_EQ(form.FUndoImage.Width(), 3);
    ASSERT_EQ(form.FUndoImage.Height(), 3);
    EXPECT_EQ(form.FUndoImage.GetPixel(2, 2), Rgb(1, 2, 3, 255));
    EXPECT_EQ(form.ClientWidth(), 365);
}

TEST_F(ZoomFit, DoubleThenHalfGivesTheColoursBackWithAlphaZero) {
    TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n");
    form.OneToOne1Click();
    Bitmap().SetSize(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            Bitmap().SetPixel(x, y, Rgb(x * 70, y * 90, 255 - x, 255));
    form.DoubleButton->trigger();
    ASSERT_EQ(Bitmap().Width(), 6);
    ASSERT_EQ(Bitmap().Height(), 4);
    EXPECT_EQ(form.ClientHeight(), 4);
    form.HalfButton->trigger();
    ASSERT_EQ(Bitmap().Width(), 3);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Bitmap().GetPixel(x, y), Rgb(x * 70, y * 90, 255 - x));
}

TEST_F(ZoomFit, DoubleIsDisabledInFitMode) {
    TKelvoImageForm& form = StartWith();
    SetImage(4, 4);
    form.Fit1->trigger();
    form.DoubleButton->trigger();
    EXPECT_EQ(Bitmap().Width(), 4);
    EXPECT_TRUE(form.FUndoImage.Empty());
}

TEST_F(ZoomFit, TheEditStepTakesTheSnapshotAfterTheRefitUnderTheBusyCursor) {
    TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n");
    SetImage(50, 40, Rgb(7, 8, 9, 255));
    form.FPanned = true;
    form.BeginImageEdit();
    EXPECT_FALSE(form.FPanned);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(form.FUndoImage.Width(), 50);
    EXPECT_EQ(form.FUndoImage.GetPixel(0, 0), Rgb(7, 8, 9, 255));
    const QRect frame = form.frameGeometry();
    EXPECT_EQ(form.FUndoBounds.Top, frame.top());
    EXPECT_EQ(form.FUndoBounds.Left, frame.left());
    EXPECT_EQ(form.FUndoBounds.Height, frame.height());
    EXPECT_EQ(form.FUndoBounds.Width, frame.width());
    form.EnableButtons(true);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

class ZoomFitPan : public ZoomFit {
  protected:
    TKelvoImageForm& StartPannable() {
        TKelvoImageForm& form = StartWith("[Image]\nOneToOne=Yes\n");
        form.OneToOne1Click();
        SetImage(1000, 100);
        // The user makes the window 400 wide and tall enough for the image.
        form.SetClientHeight(300);
        form.SetClientWidth(400);
        return form;
    }
};

TEST_F(ZoomFitPan, ArrowKeysMoveByThePanSpeedAndStopAtTheEnd) {
    TKelvoImageForm& form = StartPannable();
    ASSERT_EQ(form.ClientWidth(), 400);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&form, Qt::Key_Right);
    EXPECT_TRUE(form.FPanned);
    EXPECT_EQ(form.HorzScrollRange(), 1000);
    EXPECT_EQ(form.VertScrollRange(), 100);
    EXPECT_EQ(form.HorzScrollBar->value(), 72);
    EXPECT_EQ(form.Image->mapTo(&form, QPoint(0, 0)).x(), -72);
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(&form, Qt::Key_Right);
    EXPECT_EQ(form.HorzScrollBar->value(), 1000 - form.ClientWidth());
    QTest::keyClick(&form, Qt::Key_Left);
    EXPECT_EQ(form.HorzScrollBar->value(), 1000 - form.ClientWidth() - 24);
    // Nothing to scroll vertically: the image is lower than the client area.
    QTest::keyClick(&form, Qt::Key_Down);
    EXPECT_EQ(form.VertScrollBar->value(), 0);
}

TEST_F(ZoomFitPan, ResizingAfterPanningReturnsToTheOrigin) {
    TKelvoImageForm& form = StartPannable();
    QTest::keyClick(&form, Qt::Key_Right);
    ASSERT_EQ(form.HorzScrollBar->value(), 24);
    form.SetClientWidth(450);
    EXPECT_FALSE(form.FPanned);
    EXPECT_EQ(form.HorzScrollRange(), 0);
    EXPECT_EQ(form.HorzScrollBar->value(), 0);
    EXPECT_FALSE(form.HorzScrollBar->isVisible());
    EXPECT_EQ(form.Image->mapTo(&form, QPoint(0, 0)).x(), 0);
}

TEST_F(ZoomFitPan, TheEditStepLeavesAPanAsItIs) {
    TKelvoImageForm& form = StartPannable();
    QTest::keyClick(&form, Qt::Key_Right);
    form.BeginImageEdit();
    form.EnableButtons(true);
    EXPECT_EQ(form.HorzScrollRange(), 1000);
    EXPECT_EQ(form.HorzScrollBar->value(), 24);
}

TEST_F(ZoomFit, PanSpeedPrompt) {
    TKelvoImageForm& form = StartWith();
    FDialogs.AnswerText(QStringLiteral("2000"));
    form.PanSpeed1->trigger();
    EXPECT_EQ(
        FDialogs.Messages(),
        QStringList{QStringLiteral("Value \"2000\" is not within [1..1000] and has been ignored")});
    EXPECT_EQ(form.FPanSpeed, 24);
    EXPECT_EQ(form.PanSpeed1->text(), QStringLiteral("Pan Speed (24)"));

    FDialogs.AnswerText(QStringLiteral("050"));
    form.PanSpeed1->trigger();
    EXPECT_EQ(form.FPanSpeed, 50);
    EXPECT_EQ(form.PanSpeed1->text(), QStringLiteral("Pan Speed (050)"));
    EXPECT_EQ(Setting("Pan", "Speed"), QStringLiteral("50"));
}

}  // namespace
