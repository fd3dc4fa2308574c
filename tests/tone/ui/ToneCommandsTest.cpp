// The "Bright" menu's whole-image commands in the main window: the pixels each one leaves (the
// core functions' own), the charts each one fills, the graph window's two heights, the
// "Show Histogram" check mark, the undo snapshot, and the HB start option.

#include <QApplication>
#include <functional>

#include "tone/ui/TrackBarForms.h"

#include "tone/ToneCorrections.h"
#include "tone/ui/ToneTestWindow.h"

namespace {

class ToneCommands : public ToneWindowFixture {};

using Item = QAction* TKelvoImageForm::*;

struct CommandCase {
    const char* name;
    Item item;
    // The command's own arithmetic on a copy of the picture, with the graphs it publishes.
    std::function<void(TBitmap32&, TToneGraphs*)> apply;
};

const CommandCase kCommands[] = {
    {"&Linear", &TKelvoImageForm::LinearBrighten1,
     [](TBitmap32& image, TToneGraphs* graphs) { EqualizeHistogram(image, graphs); }},
    {"Contrast Stretch", &TKelvoImageForm::ContrastStretch1,
     [](TBitmap32& image, TToneGraphs* graphs) { ContrastStretch(image, graphs); }},
    {"Negative", &TKelvoImageForm::Negative1,
     [](TBitmap32& image, TToneGraphs* graphs) { Negative(image, graphs); }},
    {"IsoBrightness 32", &TKelvoImageForm::IsoBrightness32,
     [](TBitmap32& image, TToneGraphs* graphs) { IsoBrightness(image, 32, graphs); }},
    {"IsoBrightness 64", &TKelvoImageForm::IsoBrightness64,
     [](TBitmap32& image, TToneGraphs* graphs) { IsoBrightness(image, 64, graphs); }},
    {"IsoBrightness 128", &TKelvoImageForm::IsoBrightness128,
     [](TBitmap32& image, TToneGraphs* graphs) { IsoBrightness(image, 128, graphs); }},
    {"Washout", &TKelvoImageForm::Washout1,
     [](TBitmap32& image, TToneGraphs* graphs) { Washout(image, graphs); }},
};

TEST_F(ToneCommands, EachCommandChangesThePictureFillsItsChartsAndIsUndone) {
    for (const CommandCase& c : kCommands) {
        SCOPED_TRACE(c.name);
        TKelvoImageForm& form = StartWithPicture();
        const TBitmap32 original = CopyOf(Bitmap());
        TBitmap32 expected = CopyOf(original);
        TToneGraphs graphs;
        c.apply(expected, &graphs);
        ASSERT_TRUE(graphs.HasBefore && graphs.HasAfter);

        (form.*c.item)->trigger();
        EXPECT_TRUE(SamePixels(Bitmap(), expected));
        EXPECT_TRUE(SamePixels(form.FUndoImage, original));
        ExpectBefore(graphs.Before);
        ExpectAfter(graphs.After);
        // Only the commands that build a table plot one; the effects leave the chart alone.
        EXPECT_EQ(Points(Graph().BarSeries1),
                  graphs.HasTransfer ? Values(graphs.Transfer) : std::vector<double>{});
        EXPECT_TRUE(Graph().isVisible());
        EXPECT_EQ(Graph().height(), 762);
        EXPECT_TRUE(Graph().Chart2->isVisible());
        EXPECT_TRUE(Graph().Chart3->isVisible());
        EXPECT_EQ(Graph().pos(), QPoint(0, 0));
        EXPECT_FALSE(form.Busy());

        form.Undo1->trigger();
        EXPECT_TRUE(SamePixels(Bitmap(), original));

        // Twice in a row: the second run finds a snapshot of the picture's size, whose store
        // some commands write their result into.
        (form.*c.item)->trigger();
        (form.*c.item)->trigger();
        TBitmap32 twice = CopyOf(expected);
        c.apply(twice, nullptr);
        EXPECT_TRUE(SamePixels(Bitmap(), twice));
        EXPECT_TRUE(SamePixels(form.FUndoImage, expected));
        EXPECT_TRUE(FDialogs.Errors().isEmpty());
    }
}

TEST_F(ToneCommands, TheTableCommandsPlotTheirTransferTable) {
    // Which commands fill the transfer chart is the part of the contract the table above
    // takes from the core; here it is held against the table itself.
    const struct {
        const char* name;
        Item item;
        bool (*build)(const IntensityHistogram&, TransferTable&);
    } cases[] = {
        {"&Linear", &TKelvoImageForm::LinearBrighten1, BuildEqualizationTable},
        {"Contrast Stretch", &TKelvoImageForm::ContrastStretch1, BuildContrastStretchTable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKelvoImageForm& form = StartWithPicture();
        TransferTable table;
        ASSERT_TRUE(c.build(HistogramOf(Bitmap()), table));
        (form.*c.item)->trigger();
        EXPECT_EQ(Points(Graph().BarSeries1), Values(table));
    }
}

TEST_F(ToneCommands, HistoGramShowsTheTopChartOnlyAndLeavesThePictureAlone) {
    TKelvoImageForm& form = StartWithPicture();
    const TBitmap32 original = CopyOf(Bitmap());
    form.HistoGram1->trigger();
    EXPECT_TRUE(SamePixels(Bitmap(), original));
    EXPECT_TRUE(form.FUndoImage.Empty()) << "no snapshot for a look at the histogram";
    ExpectBefore(HistogramOf(original));
    EXPECT_TRUE(Points(Graph().BarSeries1).empty());
    EXPECT_TRUE(Points(Graph().LineSeries1).empty());
    EXPECT_TRUE(Graph().isVisible());
    EXPECT_EQ(Graph().height(), 233);
    EXPECT_TRUE(Graph().Chart1->isVisible());
    EXPECT_FALSE(Graph().Chart2->isVisible());
    EXPECT_FALSE(Graph().Chart3->isVisible());

    // The next command that shows an "after" histogram opens the window to all three charts.
    form.Negative1->trigger();
    EXPECT_EQ(Graph().height(), 762);
    EXPECT_TRUE(Graph().Chart2->isVisible());
    EXPECT_TRUE(Graph().Chart3->isVisible());
    // And "&HistoGram" shrinks it again, the charts below keeping what they showed.
    form.HistoGram1->trigger();
    EXPECT_EQ(Graph().height(), 233);
    EXPECT_EQ(Points(Graph().LineSeries1).size(), std::size_t(kToneTableSize));
}

TEST_F(ToneCommands, AnEmptyPictureHasAHistogramOfZeros) {
    TKelvoImageForm& form = StartWithPicture();
    Bitmap().AssignEmpty();
    form.HistoGram1->trigger();
    EXPECT_EQ(Points(Graph().Series1), std::vector<double>(kToneTableSize, 0.0));
    EXPECT_EQ(Points(Graph().Series2), std::vector<double>(kToneTableSize, 0.0));
    // Neither equalisation nor stretch has anything to work on: no table, no window change.
    for (Item item : {&TKelvoImageForm::LinearBrighten1, &TKelvoImageForm::ContrastStretch1}) {
        (form.*item)->trigger();
        EXPECT_TRUE(Bitmap().Empty());
        EXPECT_TRUE(Points(Graph().BarSeries1).empty());
        EXPECT_EQ(Graph().height(), 233);
        EXPECT_FALSE(form.Busy());
    }
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(ToneCommands, WithShowHistogramOffOnlyTheTransferTableIsPlotted) {
    TKelvoImageForm& form = StartWithPicture("[Histogram]\nShow=N\n");
    ASSERT_FALSE(form.ShowHistogram1->isChecked());
    const TBitmap32 original = CopyOf(Bitmap());

    form.LinearBrighten1->trigger();
    EXPECT_FALSE(SamePixels(Bitmap(), original));
    TransferTable table;
    ASSERT_TRUE(BuildEqualizationTable(HistogramOf(original), table));
    EXPECT_EQ(Points(Graph().BarSeries1), Values(table));
    for (const QLineSeries* series :
         {Graph().Series1, Graph().Series2, Graph().LineSeries1, Graph().Series3})
        EXPECT_TRUE(Points(series).empty()) << series->objectName().toStdString();
    EXPECT_FALSE(Graph().isVisible());

    const TBitmap32 equalised = CopyOf(Bitmap());
    form.Negative1->trigger();
    EXPECT_FALSE(SamePixels(Bitmap(), equalised));
    EXPECT_TRUE(Points(Graph().Series1).empty());
    EXPECT_FALSE(Graph().isVisible());
}

TEST_F(ToneCommands, HistoGramTurnsShowHistogramBackOnAndStoresIt) {
    TKelvoImageForm& form = StartWithPicture("[Histogram]\nShow=N\n");
    form.HistoGram1->trigger();
    EXPECT_TRUE(form.ShowHistogram1->isChecked());
    EXPECT_EQ(Setting("Histogram", "Show"), QStringLiteral("Y"));
    EXPECT_TRUE(Graph().isVisible());
    EXPECT_EQ(Graph().height(), 233);
    ExpectBefore(HistogramOf(Bitmap()));

    // Unchecked from the menu, it is stored as such and the next command plots no histogram.
    form.ShowHistogram1->trigger();
    EXPECT_EQ(Setting("Histogram", "Show"), QStringLiteral("N"));
    Graph().hide();
    form.Negative1->trigger();
    EXPECT_FALSE(Graph().isVisible());
    EXPECT_TRUE(Points(Graph().LineSeries1).empty());
}

TEST_F(ToneCommands, TheGraphWindowGoesToTheTopLeftCornerEachTimeItIsShown) {
    TKelvoImageForm& form = StartWithPicture();
    form.Negative1->trigger();
    ASSERT_TRUE(Graph().isVisible());
    Graph().move(300, 200);
    form.Negative1->trigger();  // already shown: stays where the user put it
    EXPECT_EQ(Graph().pos(), QPoint(300, 200));
    Graph().hide();
    form.Negative1->trigger();
    EXPECT_EQ(Graph().pos(), QPoint(0, 0));
}

// The graph window only shows, as a tool window of the main window that never takes the
// keyboard. (Offscreen every shown window is made active, so where the focus stays is tested
// under a window manager, in tests/wm/.)
TEST_F(ToneCommands, TheGraphWindowIsAToolWindowOfTheMainWindowThatTakesNoFocus) {
    TKelvoImageForm& form = StartWithPicture();
    form.Negative1->trigger();
    ASSERT_TRUE(Graph().isVisible());
    EXPECT_EQ(Graph().parentWidget(), &form);
    EXPECT_EQ(Graph().windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(Graph().testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(Graph().windowFlags() & Qt::WindowDoesNotAcceptFocus);
}

}  // namespace
