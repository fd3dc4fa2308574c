// "CW", "CCW", "Flip" and "Mirror" of the main window: where each pixel goes, round trips bit
// for bit, the snapshot and the window re-fit.

#include <QAction>
#include <QCursor>
#include <cstring>
#include <functional>
#include <vector>

#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"

namespace {

class TurnCommands : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartWith() {
        MarkRegistered("[Image]\nOneToOne=Yes\n");
        return Start();
    }
    void SetPatternImage(int width, int height) { FillPattern(Bitmap(), width, height); }
    static TColor32 Pattern(int x, int y) { return PatternColor(x, y); }
    QAction* Item(char name) {
        switch (name) {
            case 'R':
                return Form().CWButton;
            case 'L':
                return Form().CCWButton;
            case 'F':
                return Form().FlipButton;
            default:
                return Form().MirrorButton;
        }
    }
};

TEST_F(TurnCommands, EachPixelGoesWhereTheTableSays) {
    // Result position of source (x, y) in a W x H image.
    using Place = std::function<QPoint(int x, int y, int w, int h)>;
    struct Case {
        const char* name;
        char item;
        bool swapsSize;
        Place place;
    };
    const Case cases[] = {
        {"CW", 'R', true, [](int x, int y, int, int h) { return QPoint(h - 1 - y, x); }},
        {"CCW", 'L', true, [](int x, int y, int w, int) { return QPoint(y, w - 1 - x); }},
        {"Flip", 'F', false, [](int x, int y, int, int h) { return QPoint(x, h - 1 - y); }},
        {"Mirror", 'M', false, [](int x, int y, int w, int) { return QPoint(w - 1 - x, y); }},
    };
    StartWith();
    for (const QSize size : {QSize(5, 3), QSize(4, 1), QSize(1, 4)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << c.name << " " << size.width() << "x" << size.height());
            SetPatternImage(size.width(), size.height());
            Item(c.item)->trigger();
            const int w = size.width();
            const int h = size.height();
            ASSERT_EQ(Bitmap().Width(), c.swapsSize ? h : w);
            ASSERT_EQ(Bitmap().Height(), c.swapsSize ? w : h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const QPoint to = c.place(x, y, w, h);
                    ASSERT_EQ(Bitmap().GetPixel(to.x(), to.y()), Pattern(x, y)) << x << "," << y;
                }
        }
    }
}

TEST_F(TurnCommands, ARowBecomesAColumnWithItsLeftEndAtTopAfterCWAndAtBottomAfterCCW) {
    StartWith();
    const TColor32 left = 0x00010203u;
    for (const char item : {'R', 'L'}) {
        SCOPED_TRACE(item);
        Bitmap().SetSize(3, 1);
        Bitmap().Clear(0xFFFFFFFFu);
        Bitmap().SetPixel(0, 0, left);
        Item(item)->trigger();
        ASSERT_EQ(Bitmap().Width(), 1);
        ASSERT_EQ(Bitmap().Height(), 3);
        EXPECT_EQ(Bitmap().GetPixel(0, item == 'R' ? 0 : 2), left);
    }
}

TEST_F(TurnCommands, RoundTripsGiveTheImageBackBitForBit) {
    StartWith();
    for (const char* sequence : {"RL", "LR", "RRRR", "LLLL", "FF", "MM", "FMFM", "RFLM"}) {
        SCOPED_TRACE(sequence);
        SetPatternImage(7, 5);
        TBitmap32 original;
        original.Assign(Bitmap());
        for (const char* item = sequence; *item != 0; ++item)
            Item(*item)->trigger();
        EXPECT_TRUE(SamePixels(Bitmap(), original));
    }
}

TEST_F(TurnCommands, EachCommandTakesTheSnapshotAndUndoRestoresImageAndWindow) {
    TKelvoImageForm& form = StartWith();
    for (const char item : {'R', 'L', 'F', 'M'}) {
        SCOPED_TRACE(item);
        SetPatternImage(420, 380);
        form.ResizeForm();
        form.move(25, 35);
        TBitmap32 original;
        original.Assign(Bitmap());
        const QRect frame = form.frameGeometry();

        Item(item)->trigger();
        EXPECT_TRUE(SamePixels(form.FUndoImage, original));
        EXPECT_EQ(form.FUndoBounds.Left, frame.left());
        EXPECT_EQ(form.FUndoBounds.Top, frame.top());
        EXPECT_EQ(form.FUndoBounds.Width, frame.width());
        EXPECT_EQ(form.FUndoBounds.Height, frame.height());
        // The client follows the image in 1:1 mode.
        EXPECT_EQ(form.ClientWidth(), Bitmap().Width());
        EXPECT_EQ(form.ClientHeight(), Bitmap().Height());
        EXPECT_FALSE(form.Busy());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

        form.Undo1->trigger();
        EXPECT_TRUE(SamePixels(Bitmap(), original));
        EXPECT_EQ(form.frameGeometry(), frame);
    }
}

TEST_F(TurnCommands, AnEmptyImageStaysEmptyButTheSnapshotIsTakenAndTheWindowRefits) {
    TKelvoImageForm& form = StartWith();
    for (const char item : {'R', 'L', 'F', 'M'}) {
        SCOPED_TRACE(item);
        // A snapshot from some earlier edit, which the command must replace.
        SetPatternImage(4, 4);
        form.SaveUndoSnapshot();
        Bitmap().SetSize(0, 0);
        form.move(60, 50);
        form.FResizing = true;
        form.SetClientWidth(700);
        form.SetClientHeight(500);
        form.FResizing = false;

        Item(item)->trigger();

        EXPECT_TRUE(Bitmap().Empty());
        EXPECT_TRUE(form.FUndoImage.Empty()) << "the snapshot is a copy of the empty image";
        EXPECT_EQ(form.FUndoBounds.Left, form.frameGeometry().left());
        EXPECT_EQ(form.ClientWidth(), TKelvoImageForm::MinimumWidthWithoutToolbar);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(FDialogs.Shown().empty());
    }
}

}  // namespace
