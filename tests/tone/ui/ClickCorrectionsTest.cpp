// The click corrections from the "Bright" menu: armed by the item, served by a press on the
// pixel under the pointer, undone by Undo, and ended cleanly by a reference that divides by 0.

#include <QAction>
#include <QTest>
#include <cmath>

#include "support/ui/MainWindowFixture.h"
#include "tone/ToneCorrections.h"

namespace {

// No channel is 0 anywhere, so every pixel is a valid reference for every correction, and
// neighbours differ, so a pick one pixel off gives another result.
TColor32 Colour(int x, int y) {
    return TColor32(30 + x) << 16 | TColor32(40 + 2 * y) << 8 | TColor32(50 + (x * 7 + y) % 90);
}

// The settings file holds the factors as text; what comes back is within the last digit.
void ExpectStored(const QString& settingsFile, const TColorCastFactors& factors) {
    const TColorCastFactors stored = LoadColorCast(TIniFile(settingsFile));
    EXPECT_NEAR(stored.Red, factors.Red, 1e-12 * std::abs(factors.Red));
    EXPECT_NEAR(stored.Green, factors.Green, 1e-12 * std::abs(factors.Green));
    EXPECT_NEAR(stored.Blue, factors.Blue, 1e-12 * std::abs(factors.Blue));
}

class ClickCorrections : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartShowing(const QByteArray& settings = {}) {
        MarkRegistered("[Image]\nOneToOne=Yes\n" + settings);
        TKelvoImageForm& form = Start();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        SetOriginal(Bitmap());
        form.OneToOne1Click();
        return form;
    }
    static void SetOriginal(TBitmap32& image) {
        image.SetSize(160, 120);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                image.SetPixel(x, y, Colour(x, y));
        image.Changed();
    }
    void Click(QPoint at) {
        QTest::mousePress(Form().Image, Qt::LeftButton, {}, at);
        QTest::mouseRelease(Form().Image, Qt::LeftButton, {}, at);
    }
    static bool Same(const TBitmap32& a, const TBitmap32& b) {
        if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
        return true;
    }
};

TEST_F(ClickCorrections, EachModePicksThePixelUnderThePointerAndUndoRestores) {
    struct Case {
        const char* name;
        QAction* TKelvoImageForm::*item;
        std::function<void(TBitmap32&, TColor32)> expected;
    };
    const Case cases[] = {
        {"Make White", &TKelvoImageForm::MakeWhite1,
         [](TBitmap32& i, TColor32 c) { MakeWhite(i, c); }},
        {"Remove Color Cast", &TKelvoImageForm::RemoveColorCast1,
         [](TBitmap32& i, TColor32 c) { RemoveColorCast(i, c); }},
        {"Make Grey", &TKelvoImageForm::MakeGrey1,
         [](TBitmap32& i, TColor32 c) { MakeGrey(i, c); }},
        {"Make Black", &TKelvoImageForm::MakeBlack1,
         [](TBitmap32& i, TColor32 c) { MakeBlack(i, c); }},
        {"Subtract", &TKelvoImageForm::Subtract1, [](TBitmap32& i, TColor32 c) { Subtract(i, c); }},
    };
    struct View {
        const char* name;
        bool fitted;
        QPoint at;     // where the pointer presses
        QPoint pixel;  // the image pixel under it
    };
    const View views[] = {{"1:1", false, {37, 21}, {37, 21}},
                          {"fitted at half size", true, {37, 21}, {74, 42}}};
    for (const View& v : views) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(v.name) + ": " + c.name);
            TKelvoImageForm& form = StartShowing();
            if (v.fitted) {
                form.Fit1Click();
                form.FResizing = true;
                form.SetClientHeight(60);
                form.SetClientWidth(80);
                form.FResizing = false;
                ASSERT_EQ(form.Image->size(), QSize(80, 60));
            }
            ASSERT_TRUE((form.*c.item)->isEnabled());
            (form.*c.item)->trigger();
            Click(v.at);
            TBitmap32 expected;
            SetOriginal(expected);
            c.expected(expected, Colour(v.pixel.x(), v.pixel.y()));
            EXPECT_TRUE(Same(Bitmap(), expected));
            form.Undo1->trigger();
            SetOriginal(expected);
            EXPECT_TRUE(Same(Bitmap(), expected));
            EXPECT_TRUE(FDialogs.Errors().isEmpty());
            FForm.reset();
        }
    }
}

TEST_F(ClickCorrections, MakeBlackWhiteTakesBlackThenWhiteAndStoresTheFactors) {
    TKelvoImageForm& form = StartShowing();
    form.MakeBlackWhite1->trigger();
    Click({3, 4});
    Click({150, 110});
    TBitmap32 expected;
    SetOriginal(expected);
    const TColorCastFactors factors = MakeBlackWhite(expected, Colour(3, 4), Colour(150, 110));
    EXPECT_TRUE(Same(Bitmap(), expected));
    EXPECT_EQ(TColorCastFactors({form.FColorCastRed, form.FColorCastGreen, form.FColorCastBlue}),
              factors);
    ExpectStored(SettingsFile(), factors);
    EXPECT_FALSE(form.RemoveColorCastAgain1->isEnabled())
        << "only a plain colour cast offers its factors again";
    form.Undo1->trigger();
    SetOriginal(expected);
    EXPECT_TRUE(Same(Bitmap(), expected));
}

TEST_F(ClickCorrections, ColourCastIsStoredAndOfferedAgainAlsoAfterARestart) {
    {
        TKelvoImageForm& form = StartShowing();
        EXPECT_FALSE(form.RemoveColorCastAgain1->isEnabled());
        form.RemoveColorCast1->trigger();
        Click({20, 30});
        EXPECT_TRUE(form.RemoveColorCastAgain1->isEnabled());
        ExpectStored(SettingsFile(), RemoveColorCastFactors(Colour(20, 30)));
        FForm.reset();
    }
    // Factors edited into the file by hand, read at the next start.
    MarkRegistered("[Image]\nOneToOne=Yes\n[ColorCast]\nRed=0.5\nGreen=0\nBlue=2.25\n");
    TKelvoImageForm& form = Start();
    SetOriginal(Bitmap());
    ASSERT_TRUE(form.RemoveColorCastAgain1->isEnabled());
    form.RemoveColorCastAgain1->trigger();
    TBitmap32 expected;
    SetOriginal(expected);
    ApplyColorCast(expected, {0.5, 0, 2.25});
    EXPECT_TRUE(Same(Bitmap(), expected));
    form.Undo1->trigger();
    SetOriginal(expected);
    EXPECT_TRUE(Same(Bitmap(), expected));
}

TEST_F(ClickCorrections, DivisionByZeroEndsTheCommandAndChangesNothing) {
    struct Case {
        const char* name;
        QAction* TKelvoImageForm::*item;
        TColor32 reference;
        const char* message;
    };
    const Case cases[] = {
        {"Make White on a zero channel", &TKelvoImageForm::MakeWhite1, 0x00FF0080u,
         "Floating point division by zero."},
        {"Remove Color Cast on black", &TKelvoImageForm::RemoveColorCast1, 0x00000000u,
         "Invalid floating point operation."},
        {"Make Grey on black", &TKelvoImageForm::MakeGrey1, 0x00000000u,
         "Floating point division by zero."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MarkRegistered("[Image]\nOneToOne=Yes\n[ColorCast]\nRed=1.5\nGreen=1\nBlue=0.5\n");
        TKelvoImageForm& form = Start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        SetOriginal(Bitmap());
        form.OneToOne1Click();
        form.HalfButton->trigger();  // a snapshot the failure must leave alone
        Bitmap().SetPixel(5, 5, c.reference);
        TBitmap32 before;
        before.Assign(Bitmap());
        const qsizetype errors = FDialogs.Errors().size();
        (form.*c.item)->trigger();
        Click({5, 5});
        ASSERT_EQ(FDialogs.Errors().size(), errors + 1);
        EXPECT_EQ(FDialogs.Errors().back(), QLatin1String(c.message));
        EXPECT_TRUE(Same(Bitmap(), before));
        EXPECT_FALSE(form.FMakeWhiteMode || form.FRemoveCastMode || form.FMakeGreyMode);
        EXPECT_FALSE(form.Busy());
        EXPECT_EQ(LoadColorCast(TIniFile(SettingsFile())), TColorCastFactors({1.5, 1, 0.5}));
        EXPECT_EQ(form.FColorCastRed, 1.5);
        form.Undo1->trigger();
        TBitmap32 original;
        SetOriginal(original);
        EXPECT_TRUE(Same(Bitmap(), original)) << "the snapshot is the one before 1/2";
        FForm.reset();
    }
}

}  // namespace
