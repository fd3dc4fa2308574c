#pragma once
// TGraphForm: the window of the histogram and transfer graphs the tone commands plot. Three
// charts stacked top to bottom: the histogram an operation started from (counts in red, the
// running total in blue), the transfer table it applied, and the histogram of its result.
// The window only draws; which charts an operation fills, and whether the histograms are shown
// at all, the main window decides. Created with the main window as its parent, it is that
// window's tool window: above it, never taking the focus, its frame at (0, 0) at every show.

#include <QWidget>

#include "tone/ToneTables.h"

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

class TGraphForm : public QWidget {
    Q_OBJECT
  public:
    explicit TGraphForm(QWidget* parent = nullptr);

    // The designed geometry of the charts, all 400 wide.
    static constexpr int ChartWidth = 400;
    static constexpr int Chart1Top = 0;
    static constexpr int Chart1Height = 201;
    static constexpr int Chart2Top = 200;
    static constexpr int Chart2Height = 321;
    static constexpr int Chart3Top = 520;
    static constexpr int Chart3Height = 210;
    // What the window adds below the lowest chart shown.
    static constexpr int BottomMargin = 32;

    QChartView* Chart1 = nullptr;        // "Histogram", before
    QChartView* Chart2 = nullptr;        // "Transfer"
    QChartView* Chart3 = nullptr;        // "Histogram", after
    QLineSeries* Series1 = nullptr;      // before: counts
    QLineSeries* Series2 = nullptr;      // before: running total
    QLineSeries* BarSeries1 = nullptr;   // the transfer table
    QLineSeries* LineSeries1 = nullptr;  // after: counts
    QLineSeries* Series3 = nullptr;      // after: running total

    // Replaces the points of a count series and its running-total series: one point per
    // intensity 0..768.
    void PlotHistogram(const IntensityHistogram& histogram, QLineSeries* counts,
                       QLineSeries* totals);
    void PlotTransfer(const TransferTable& table);

    // The window with the "before" chart only, or with all three.
    void ShowBeforeOnly();
    void ShowAllCharts();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    static constexpr int kFrameChecks = 60;
    void PlaceFrameAtCorner(int checksLeft, int settledChecks = 0);

    // The axes whose maximum follows the data; the minimum of each stays where it was fixed.
    struct TChartAxes {
        QValueAxis* Bottom = nullptr;
        QValueAxis* Left = nullptr;
        QValueAxis* Right = nullptr;  // the running total's; nullptr on the transfer chart
    };
    QChartView* MakeChart(const char* name, const QString& title, int top, int height);
    TChartAxes AddHistogramSeries(QChartView* view, QLineSeries* counts, QLineSeries* totals);
    void FitAxes(QLineSeries* counts);

    // What each histogram pair shows: a slider re-plots the same "before" at every move, and
    // re-laying out an unchanged chart is wasted work.
    struct TPlotted {
        IntensityHistogram Histogram{};
        bool Valid = false;
    };
    TPlotted FBeforePlotted;
    TPlotted FAfterPlotted;

    TChartAxes FBeforeAxes;
    TChartAxes FTransferAxes;
    TChartAxes FAfterAxes;
};
